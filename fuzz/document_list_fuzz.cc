// Fuzzes the document-list reader: the bytes become ./list.csv in an empty scratch folder;
// a list either gives rows or is refused with one of the documented messages, and the
// reader writes nothing.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fatal.h"
#include "fuzz_check.h"
#include "read_csv.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char folder[] = "/tmp/morvalen-fuzz-XXXXXX";
  if (::mkdtemp(folder) == nullptr || ::chdir(folder) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out("list.csv", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    for (const morvalen::DocumentListRow& row : morvalen::read_document_list("list.csv")) {
      for (const std::string& sheet : row.process.templates) check(sheet.ends_with(".css"));
      check(row.template_files.size() == row.process.templates.size());
    }
  } catch (const morvalen::FatalStop& stop) {
    check(stop.message.rfind("Rejected document list: list.csv: line ", 0) == 0 ||
          stop.message.rfind("Could not load lines: list.csv: ", 0) == 0);
  }
  check(::access("assets", F_OK) != 0);
  return 0;
}
