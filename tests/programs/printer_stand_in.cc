// printer_stand_in: a program that the tests put where the browser is looked for, on Linux
// and on Windows alike. It prints both ways morvalen asks for, without rendering anything:
//   ... --print-to-pdf=PDF ... PAGE    writes to PDF a small PDF naming PAGE's file name
//   ... --remote-debugging-pipe ...    answers the DevTools commands morvalen sends on its
//                                      descriptor 3 (NUL-ended JSON texts), replies on 4
// Each PDF says which way printed it ("one browser per page" or "kept browser"), so a test
// sees the way as well as the page. A page that is no file cannot be loaded, as in the
// browser: the navigation answers with an error text.
#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// After windows.h, which it needs:
#include <shellapi.h>
#define read_descriptor _read
#define write_descriptor _write
#else
#include <unistd.h>
#define read_descriptor ::read
#define write_descriptor ::write
#endif

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

fs::path utf8_path(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::string file_name_of(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string pdf_for(const std::string& way, const std::string& page) {
  return "%PDF-1.4 stand-in, " + way + ", for " + file_name_of(page) + "\n%%EOF\n";
}

// The arguments in UTF-8; on Windows from the UTF-16 command line, as a browser takes them.
std::vector<std::string> arguments([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
#ifdef _WIN32
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> utf8;
  for (int i = 0; i < count; ++i) {
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string arg(static_cast<std::size_t>(length > 0 ? length - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), length, nullptr, nullptr);
    utf8.push_back(arg);
  }
  ::LocalFree(wide);
  return utf8;
#else
  return std::vector<std::string>(argv, argv + argc);
#endif
}

int print_one(const std::vector<std::string>& args) {
  std::string pdf;
  for (const std::string& arg : args) {
    if (arg.rfind("--print-to-pdf=", 0) == 0) pdf = arg.substr(15);
  }
  if (pdf.empty() || args.size() < 3) return 2;
  std::ofstream out(utf8_path(pdf), std::ios::binary);
  out << pdf_for("one browser per page", args.back());
  return out ? 0 : 3;
}

// The path of a file:// URL without a host, or "" for any other URL.
std::string path_of_url(const std::string& url) {
  if (url.rfind("file:///", 0) != 0) return "";
  std::string path;
  for (std::size_t i = 7; i < url.size(); ++i) {
    if (url[i] == '%' && i + 2 < url.size()) {
      path.push_back(static_cast<char>(std::stoi(url.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      path.push_back(url[i]);
    }
  }
#ifdef _WIN32
  // file:///C:/folder/page.html; the colon stays as it is.
  if (path.size() < 3 || url[9] != ':') return "";
  path.erase(0, 1);
#endif
  return path;
}

std::string base64(const std::string& bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned int group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    for (std::size_t digit = 0; digit < 4; ++digit) {
      text.push_back(i + digit <= bytes.size() ? kDigits[(group >> (18 - 6 * digit)) & 0x3F] : '=');
    }
  }
  return text;
}

bool send(const Json& message) {
  std::string bytes = message.dump();
  bytes.push_back('\0');
  for (std::size_t sent = 0; sent < bytes.size();) {
    const int wrote =
        write_descriptor(4, bytes.data() + sent, static_cast<unsigned>(bytes.size() - sent));
    if (wrote <= 0) return false;
    sent += static_cast<std::size_t>(wrote);
  }
  return true;
}

// One tab; the page last loaded into it is what Page.printToPDF prints.
int serve_pipe() {
  std::string unread;
  std::string page;
  int loads = 0;
  char buffer[4096];
  while (true) {
    const std::size_t end = unread.find('\0');
    if (end == std::string::npos) {
      const int got = read_descriptor(3, buffer, sizeof buffer);
      if (got <= 0) return 0;
      unread.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    const Json command = Json::parse(unread.substr(0, end), nullptr, false);
    unread.erase(0, end + 1);
    if (!command.is_object()) return 4;
    const std::string method = command.value("method", "");
    const Json params = command.value("params", Json::object());
    Json answer{{"id", command.value("id", 0)}, {"result", Json::object()}};
    if (command.contains("sessionId")) answer["sessionId"] = command["sessionId"];
    Json event;
    if (method == "Browser.close") {
      send(answer);
      return 0;
    } else if (method == "Target.createTarget") {
      answer["result"] = {{"targetId", "tab-1"}};
    } else if (method == "Target.attachToTarget") {
      answer["result"] = {{"sessionId", "session-1"}};
    } else if (method == "Page.navigate") {
      const std::string path = path_of_url(params.value("url", ""));
      std::error_code error;
      if (path.empty() || !fs::is_regular_file(utf8_path(path), error)) {
        answer["result"] = {{"frameId", "frame-1"}, {"errorText", "net::ERR_FILE_NOT_FOUND"}};
      } else {
        page = path;
        const std::string loader = "loader-" + std::to_string(++loads);
        answer["result"] = {{"frameId", "frame-1"}, {"loaderId", loader}};
        event = {{"method", "Page.lifecycleEvent"},
                 {"sessionId", "session-1"},
                 {"params", {{"frameId", "frame-1"}, {"loaderId", loader}, {"name", "load"}}}};
      }
    } else if (method == "Page.printToPDF") {
      answer["result"] = {{"data", base64(pdf_for("kept browser", page))}};
    } else if (method != "Page.enable" && method != "Page.setLifecycleEventsEnabled") {
      answer.erase("result");
      answer["error"] = {{"code", -32601}, {"message", "'" + method + "' wasn't found"}};
    }
    if (!send(answer) || (!event.is_null() && !send(event))) return 5;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = arguments(argc, argv);
  for (const std::string& arg : args) {
    if (arg == "--remote-debugging-pipe") return serve_pipe();
  }
  return print_one(args);
}
