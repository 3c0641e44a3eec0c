// trace_library.h: the small pump library that the trace tests run on, and whose matrix is
// tests/golden/trace/. Three procedures and a requirements list: REQ-001 verified twice by
// different methods, REQ-002 verified nowhere, REQ-003 quoted with another text than the
// list's, REQ-99 verified but not in the list (and quoted with two texts), REQ-010 before
// the first section; one document with a byte-order mark and CRLF line ends, a list with
// a byte-order mark, CRLF, quoted commas, doubled quotes and a further column.
#pragma once
#include <string>

#include "test_support.h"

namespace morvalen {

inline void write_trace_library(const std::string& root) {
  using testing_support::write_file;
  const auto document = [&](const std::string& folder, const std::string& text) {
    write_file(root + "/" + folder + "/" + folder + ".qlml", text);
  };
  document("QL-TP-0100 - Pump acceptance test",
           "Number | QL-TP-0100\n"
           "Title | Pump acceptance test\n"
           "Revision | B | Limits tightened\n"
           "Revision | A | First issue\n"
           "Verification | REQ-010 | The control panel shall show the discharge pressure | I\n"
           "Section | Start\n"
           "    Step | Start from cold\n"
           "        Verification | REQ-001 | The pump shall start within 5 s, from cold | Test\n"
           "Section | Seal\n"
           "    Verification | REQ-003 | Seal leakage shall stay below 5 drops/min, measured "
           "\"dry\" | Analysis\n"
           "    Step | Check the seal\n"
           "        // Verification | REQ-002 | a comment verifies nothing | T\n"
           "        Verification | REQ-003 | Seal leakage shall stay below 5 drops/min, measured "
           "\"dry\" | Inspection\n");
  document("QL-IN-0200 - Pump inspection",
           "\xEF\xBB\xBFNumber | QL-IN-0200\r\n"
           "Title | Pump inspection\r\n"
           "Revision | 1 | First issue\r\n"
           "Section | Inspect\r\n"
           "    Step | Look\r\n"
           "        Verification | REQ-001 | The pump shall start within 5 s, from cold | D\r\n"
           "        Verification | REQ-99 | The pump shall be painted RAL 5015 | I\r\n"
           "    Step | Seal\r\n"
           "        Verification |REQ-003|  Seal leakage shall stay below 5 drops per minute | "
           "I\r\n");
  document("QL-WI-0300 - Pump stop _ restart",
           "Number | QL-WI-0300\n"
           "Title | Pump stop & restart\n"
           "Section | Stop\n"
           "    Step | Stop the pump\n"
           "    Step | Restart\n"
           "        Verification | REQ-99 | The pump shall be painted blue | Inspection\n");
  write_file(
      root + "/SystemRequirements.csv",
      "\xEF\xBB\xBFRequirement,Text,Source\r\n"
      "REQ-003,\"Seal leakage shall stay below 5 drops/min, measured \"\"dry\"\"\",SRS 3.3\r\n"
      "REQ-001,\"The pump shall start within 5 s, from cold\",SRS 3.1\r\n"
      "REQ-010,The control panel shall show the discharge pressure,SRS 4.1\r\n"
      "\r\n"
      "REQ-002,The pump shall stop on a low-level alarm,SRS 3.2\r\n");
}

}  // namespace morvalen
