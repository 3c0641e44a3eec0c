// write_qlml.h: process folder names and first-draft documents.
#pragma once
#include <string>

#include "process.h"

namespace morvalen {

// "./{number} - {title}" with / \ : * ? " < > | # % & + { } in the title replaced by "_".
// A "/" or "\" in the number becomes "_" too, so the folder always lies directly in the
// library root; the rest of the number is kept.
std::string get_process_folder_name(const Process& process);

}  // namespace morvalen
