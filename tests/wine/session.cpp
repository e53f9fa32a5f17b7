// Holds one wine session (its server and services) open while CTest runs the Windows
// test programs: "wine_session" waits until "wine_session --end" runs, or four hours
// pass. A test program that started wine's services itself would hand them its output
// pipe, and CTest would wait for them to exit; each start also costs seconds.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  const HANDLE end = ::CreateEventW(nullptr, TRUE, FALSE, L"Local\\varnolt-tests-wine-session");
  if (end == nullptr) return 1;
  if (argc > 1 && std::strcmp(argv[1], "--end") == 0) return ::SetEvent(end) ? 0 : 1;
  if (argc > 1) return 0;  // --started: the session answers
  ::WaitForSingleObject(end, 4 * 60 * 60 * 1000);
  return 0;
}
