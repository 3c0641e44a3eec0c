// names.h: every path and name the program builds, and beside the one it reads back (the
// archive folder name) its parser. Paths are relative to the library root.
#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "model.h"

namespace morvalen {

// The library's shared folder and its files, the menu and the default document list.
inline constexpr std::string_view kAssetsFolder = "./assets";
inline constexpr std::string_view kPrototypePath = "./assets/QLML-prototype.qlml";
inline constexpr std::string_view kBatchFilePath = "./assets/QuickLever.bat";
inline constexpr std::string_view kWebMenuPath = "./WebMenu.html";
inline constexpr std::string_view kDefaultDocumentList = "./DocumentList.csv";
// The requirements matrix that qlml trace writes.
inline constexpr std::string_view kRequirementsPagePath = "./Requirements.html";
inline constexpr std::string_view kRequirementsCsvPath = "./Requirements.csv";
// The start of the name of a browser's temporary profile folder (make_profile_folder).
inline constexpr std::string_view kBrowserProfilePrefix = "morvalen-chromium-";

// Process folders and the files in them.

// "./{number} - {title}" with / \ : * ? " < > | # % & + { } in the title replaced by "_".
// A "/" or "\" in the number becomes "_" too, so the folder always lies directly in the
// library root; the rest of the number is kept.
std::string process_folder_name(std::string_view number, std::string_view title);
// The same from the process's own number and title.
std::string get_process_folder_name(const Process& process);
// Why Windows would not keep a folder or file called `name` as written, or nothing: it drops
// a trailing dot or blank ("ends in a dot or a blank"), and it reserves the device names
// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9, in any case and with any extension ("is
// the reserved device name CON").
std::optional<std::string> windows_name_problem(std::string_view name);
// The file of process folder `name` (a folder name, without "./") with `extension`:
// "./{name}/{name}{extension}".
std::string process_file_path(std::string_view name, std::string_view extension);
// The document path of process folder `name`: "./{name}/{name}.qlml".
std::string document_path(std::string_view name);
// The file of the process folder `folder` as get_process_folder_name gives it ("./{name}")
// with `extension`: "{folder}/{folder}{extension}", so "./{name}/./{name}{extension}".
std::string folder_file_path(std::string_view folder, std::string_view extension);
// The copy of the batch file in the process folder `folder`: "{folder}/QuickLever.bat".
std::string batch_file_copy_path(std::string_view folder);
// `document_path` with its final ".qlml" replaced by `extension` (".html", ".pdf"), or
// with `extension` appended when it does not end in ".qlml".
std::string replace_qlml_extension(const std::string& document_path, std::string_view extension);
// The folder the document at `document_path` lies in: "./N" for "./N/N.qlml", "." for a
// path without "/".
std::string folder_of_document(const std::string& document_path);
// The stub of the stylesheet `file_name` in the assets folder: "./assets/{file_name}".
std::string stub_stylesheet_path(std::string_view file_name);

// Archives.

// The folder of a process folder's archives: "{process_folder}/previous".
std::string previous_folder(std::string_view process_folder);
// "UTC-%Y-%m-%d-T%H-%M-%S" for `time` in UTC: "UTC-2025-03-07-T14-05-09".
std::string format_archive_timestamp(std::chrono::system_clock::time_point time);
// "Rev_{revision}_{timestamp}". A "/", "\" or NUL byte in the revision becomes "_", so the
// archive is always one folder directly in "previous".
std::string archive_folder_name(std::string_view revision, std::string_view timestamp);
// Whether `name` matches Rev_*_UTC-*-*-*-T*-*-* ("*" any text, everything else literal).
bool is_archive_folder_name(std::string_view name);
// The revision of an archive folder name: the text after "Rev_" up to the last "_UTC-"
// that is followed by a timestamp of the form *-*-*-T*-*-*; nothing when the name has none.
std::optional<std::string> revision_of_archive_name(std::string_view name);

// Addresses of files, for the browser and for editors.

// The file:// address of the absolute path `path`, percent-encoded where a URL needs it. A
// path on a drive ("C:/a", "C:\a") is "file:///C:/a"; on Windows "\" separates too, and a
// share "\\host\a" is "file://host/a".
std::string file_url(std::string_view path);
// The path a file:// address names, percent-escapes decoded ("file:///a%20b/c.qlml" gives
// "/a b/c.qlml"; on Windows "file:///C:/x" gives "C:/x" and "file://host/x" the share
// "//host/x"); "" for any other address.
std::string path_of_file_url(std::string_view url);

}  // namespace morvalen
