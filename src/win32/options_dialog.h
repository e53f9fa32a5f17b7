// The conversion options dialog ("转换选项") of the Windows edition: the rows of
// form::OptionRows() as check boxes, drop-down lists and text boxes in their group
// boxes, laid out at the monitor's DPI, so that it shows what the Qt dialog shows.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "form/conversion_options.h"
#include "win32/wide.h"

namespace varnolt::win32 {

// The dialog id of the control of a row (its name in form::OptionRows()); 0 for an
// unknown name. Tests find the controls by it.
int OptionControlId(std::string_view name);

// Shows the dialog over `owner` until OK or Cancel: the options chosen, nullopt when
// cancelled. OK is refused, with a box saying why, while a text box holds what cannot
// be used. With `shown`, the dialog calls it once it is on screen (a screenshot) and
// then closes as cancelled.
std::optional<ConversionOptions> EditOptions(HWND owner, const ConversionOptions& options,
                                             const std::function<void(HWND)>& shown = {});

}  // namespace varnolt::win32
