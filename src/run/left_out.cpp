// What a run did not write, in the words of both front ends: the summary warning
// after it, and the message of a drawing that holds nothing to convert.
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/kind_words.h"
#include "run/run.h"
#include "settings/include_kinds.h"

namespace varnolt {
namespace {

// The kinds not read, and what would read them: "--include frames converts them".
struct Hint {
  std::string english, chinese;
};

Hint IncludeHint(const std::vector<const SkippedKind*>& notRead, unsigned included) {
  unsigned include = 0;
  std::string unconvertible, unconvertibleChinese;
  for (const SkippedKind* s : notRead) {
    KindWords words = WordsForKind(s->kind);
    // Included and still not read: no option would bring it in.
    if ((words.include & included) != 0) words.include = 0;
    include |= words.include;
    if (words.include == 0) {
      unconvertible += (unconvertible.empty() ? "" : ", ") + words.english;
      unconvertibleChinese += (unconvertibleChinese.empty() ? "" : ", ") + words.chinese;
    }
  }
  if (include == 0) return {"no option converts these kinds", "这些类型无法转换"};
  const std::string list = IncludeListText(include);
  Hint hint{"--include " + list + " converts " +
                (unconvertible.empty() ? std::string("them") : "all but the " + unconvertible),
            "在“转换选项”中选择（命令行 --include " + list + "）即可转换"};
  if (!unconvertibleChinese.empty()) hint.chinese += "（" + unconvertibleChinese + " 除外）";
  return hint;
}

void Split(const std::vector<SkippedKind>& skipped, std::vector<const SkippedKind*>& notRead,
           std::vector<const SkippedKind*>& leftOut) {
  for (const SkippedKind& s : skipped) (s.reason.empty() ? notRead : leftOut).push_back(&s);
}

}  // namespace

std::optional<RunWarning> SkippedWarning(const std::vector<SkippedKind>& skipped,
                                         unsigned included) {
  std::vector<const SkippedKind*> notRead, leftOut;
  Split(skipped, notRead, leftOut);
  if (notRead.empty() && leftOut.empty()) return std::nullopt;
  RunWarning w;
  if (!notRead.empty()) {
    w.english = "not converted: ";
    w.chinese = "未转换: ";
    for (size_t k = 0; k < notRead.size(); ++k) {
      const KindWords words = WordsForKind(notRead[k]->kind);
      const std::string count = std::to_string(notRead[k]->count);
      w.english += (k > 0 ? ", " : "") + words.english + " " + count;
      w.chinese += (k > 0 ? ", " : "") + words.chinese + " " + count;
    }
    const Hint hint = IncludeHint(notRead, included);
    w.english += "; " + hint.english;
    w.chinese += "；" + hint.chinese;
  }
  if (!leftOut.empty()) {
    w.english += w.english.empty() ? "left out: " : "; left out: ";
    w.chinese += w.chinese.empty() ? "已略去: " : "；已略去: ";
    for (size_t k = 0; k < leftOut.size(); ++k) {
      const SkippedKind& s = *leftOut[k];
      const KindWords words = WordsForKind(s.kind);
      const std::string count = std::to_string(s.count);
      w.english += (k > 0 ? ", " : "") + (s.count == 1 ? words.singular : words.english) + " " +
                   count + " (" + s.reason + ")";
      w.chinese += (k > 0 ? ", " : "") + words.chinese + " " + count + "（" + s.reasonChinese + "）";
    }
  }
  return w;
}

std::string NothingToConvert(const std::vector<SkippedKind>& skipped, unsigned included) {
  std::vector<const SkippedKind*> notRead, leftOut;
  Split(skipped, notRead, leftOut);
  if (notRead.empty() && leftOut.empty()) {
    return "nothing was selected: no line, arc, circle, polyline, 3D polyline, text or "
           "multiline text";
  }
  std::string text = "nothing to convert: the drawing holds ";
  for (size_t k = 0; k < skipped.size(); ++k) {
    const SkippedKind& s = skipped[k];
    text += (k > 0 ? ", " : "") + s.kind + " " + std::to_string(s.count) +
            (s.reason.empty() ? " (not converted)" : " (left out: " + s.reason + ")");
  }
  if (!notRead.empty()) text += "; " + IncludeHint(notRead, included).english;
  return text;
}

}  // namespace varnolt
