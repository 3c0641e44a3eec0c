// stand_in.exe: a Windows program that the Windows tests start in place of a browser.
//   stand_in exit N           ends with exit status N
//   stand_in hang FILE        starts `stand_in sleep` as its own child, writes that child's
//                             process id to FILE and sleeps; ending its job ends both
//   stand_in sleep            sleeps a minute
//   stand_in echo             reads its descriptor 3 until it ends and writes all of it
//                             back on its descriptor 4 (the DevTools pipe pair)
//   stand_in --headless ... --print-to-pdf=PDF ... PAGE
//                             prints as the browser does: writes a small PDF to PDF; with
//                             STAND_IN_HANGS set it sleeps a minute instead
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::wstring self_path() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return std::wstring(buffer, length);
}

int hang(const char* pid_file) {
  std::wstring command = L"\"" + self_path() + L"\" sleep";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &child)) {
    return 2;
  }
  std::ofstream(pid_file) << child.dwProcessId << "\n";
  ::Sleep(60000);
  return 0;
}

int echo() {
  const intptr_t in = ::_get_osfhandle(3);
  const intptr_t out = ::_get_osfhandle(4);
  if (in == -1 || out == -1) return 3;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(reinterpret_cast<HANDLE>(in), buffer, sizeof buffer, &got, nullptr) &&
         got > 0) {
    DWORD written = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(out), buffer, got, &written, nullptr)) return 4;
  }
  return 0;
}

int print(int argc, char** argv) {
  std::string pdf;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--print-to-pdf=", 0) == 0) pdf = arg.substr(15);
  }
  if (pdf.empty()) return 5;
  std::ofstream out(pdf, std::ios::binary);
  out << "%PDF-1.4 stand-in for " << argv[argc - 1] << "\n%%EOF\n";
  return out ? 0 : 6;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "exit" && argc > 2) return std::atoi(argv[2]);
  if (mode == "hang" && argc > 2) return hang(argv[2]);
  if (mode == "sleep") {
    ::Sleep(60000);
    return 0;
  }
  if (mode == "echo") return echo();
  if (std::getenv("STAND_IN_HANGS") != nullptr) {
    ::Sleep(60000);
    return 0;
  }
  return print(argc, argv);
}
