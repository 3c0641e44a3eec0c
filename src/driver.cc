#include "driver.h"

#include "actions.h"
#include "links.h"

namespace morvalen {

int run_morvalen(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
  const ParsedCommandLine parsed = parse_command_line(argv);
  if (!parsed.args) {
    (parsed.screen_to_stderr ? err : out) << parsed.screen;
    return parsed.exit_status;
  }
  run_actions(*parsed.args, out, err);
  return 0;
}

void run_actions(const MorvalenArgs& args, std::ostream& out, std::ostream& err) {
  // Drafts from a document list.
  if (!args.listgen.empty()) generate_drafts(args.listgen, args.verbose, out);

  // Script export.
  if (!args.scriptify_process.empty()) export_scripts(args.scriptify_process, args.verbose, out);

  // Render.
  if (!args.process_qlml.empty()) render_documents(args.process_qlml, args.verbose, out, err);

  // Archive.
  if (!args.archive_process.empty())
    archive_documents(args.archive_process, args.verbose, out, err);

  // Cleanup.
  if (!args.cleanup_previous.empty()) cleanup_documents(args.cleanup_previous, args.verbose, out);

  // Inspect.
  if (!args.inspect_process.empty()) inspect_process(args.inspect_process, args.verbose, out);

  // Library menu.
  if (args.webmenu) generate_complete_webmenu(args.verbose, out);

  // QLML help.
  if (args.qlml_help) out << qlml_cheat_sheet();
}

std::string qlml_cheat_sheet() {
  return "\n"
         "\n"
         "Note: Process files passed into --process-qlml are specifically-formatted QLML files (Quick Lever Markup Language).\n"
         "\n"
         "==================================================\n"
         "==   Quick Lever Markup Language Cheat Sheet   ===\n"
         "==================================================\n"
         "\n"
         "// <COMMENT>\n"
         "Template | <CSS FILENAME FOUND IN ASSETS FOLDER>\n"
         "\n"
         "Title        | <PROCESS TITLE>\n"
         "Number       | <PROCESS NUMBER>\n"
         "Author       | <PROCESS AUTHOR>\n"
         "Reviewer     | <PROCESS REVIEWER>\n"
         "Process Type | <CATEGORY>, e.g. Test Procedure\n"
         "\n"
         "Subject       | <THING TO WHICH THE PROCESS APPLIES> \n"
         "Subject Image | <FILENAME OF IMAGE OF SUBJECT>\n"
         "Product       | <THING PRODUCED BY THIS PROCESS> - optional\n"
         "Product Image | <FILENAME OF IMAGE OF PRODUCT> - optional\n"
         "\n"
         "Revision | <LATEST REV NUM>       | <DESCRIPTION OF CHANGE>\n"
         "Revision | <INTERMEDIATE REV NUM> | <DESCRIPTION OF CHANGE>\n"
         "Revision | <FIRST REV NUM>        | <INITIAL DESCTIPTION>\n"
         "\n"
         "Section  | <TITLE OF SECTION>\n"
         "    Step | <TITLE OF STEP>\n"
         "        \n"
         "        // These all must occur within a STEP\n"
         "        \n"
         "        Context      | <PLAIN TEXT STATEMENTS FOR CONTEXT>\n"
         "        Command      | <VERBATIM COMPUTER CODE>\n"
         "        Warning      | <BIG BOLD TEXT TO CAPTURE ATTENTION>\n"
         "        Image        | <FILENAME> | <CAPTION TEXT>\n"
         "        Resource     | <THING YOU NEED TO COMPLETE THIS STEP>\n"
         "        Objective    | <ACHIEVED PURPOSE OF THIS PROCESS>\n"
         "        Out of Scope | <NOTE ABOUT WHAT NOT TO DO HERE>\n"
         "\n"
         "        // Verification methods can be single letter: A, I, D, T, S\n"
         "        // They can also be full words: Analysis, Inspection, Demonstration, Test, Sampling\n"
         "        Verification | <REQUIREMENT ID> | <FULL TEXT OF REQUIREMENT> | <VERIFICATION METHOD>\n"
         "\n"
         "        // Action lines can be grouped together to form consecutive table rows\n"
         "        // To optionally include Two-Party Verification, <TPV> can be \"TPV\" \n"
         "        // To NOT make an action Two-Party Verified, stop at the <EXPECTED RESULT>\n"
         "        Action   | <THING TO DO> | <EXPECTED RESULT> | <TPV?> - optional\n"
         "        Action   | <THING TO DO> | <EXPECTED RESULT> | <TPV?> - optional\n"
         "\n"
         "For rendered examples, see " +
         std::string(kExamplesLink) + "\n";
}

}  // namespace morvalen
