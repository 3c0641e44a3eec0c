#include "write_html.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <variant>

#include "files.h"
#include "links.h"

namespace morvalen {
namespace {

constexpr std::string_view kWriteFailed = "write failed";

// Handing every short line to the stream on its own costs several times what the output
// itself costs, so complete lines are copied into a chunk that goes to the stream when the
// next line would not fit, and at the end of every public function. A chunk holds whole
// lines only, so a failed write never leaves a half line behind while the run goes on; a
// line longer than a chunk goes to the stream on its own. Chunks of 1 MiB let the file
// system take the page in large blocks: with smaller ones the writer measured slower.
constexpr std::size_t kChunkSize = 1 << 20;

struct Page {
  std::ostream& out;
  std::string_view failure = kWriteFailed;  // "write failed", with the file when there is one
  std::unique_ptr<char[]> chunk = std::make_unique_for_overwrite<char[]>(kChunkSize);
  std::size_t used = 0;
};

void flush(Page& page) {
  if (page.used == 0) return;
  write_piece(page.out, std::string_view(page.chunk.get(), page.used), page.failure);
  page.used = 0;
}

// The size of a piece of a line: a string literal's size is known when compiling, which
// lets the compiler copy it inline instead of calling memcpy.
template <std::size_t N>
constexpr std::size_t piece_size(const char (&)[N]) {
  return N - 1;
}
std::size_t piece_size(std::string_view piece) { return piece.size(); }

template <std::size_t N>
char* copy_piece(char* at, const char (&piece)[N]) {
  std::memcpy(at, piece, N - 1);
  return at + N - 1;
}
// Texts of the model are mostly short: copying them as two overlapping blocks of a size
// known when compiling avoids a call to memcpy for each of them.
char* copy_piece(char* at, std::string_view piece) {
  const char* from = piece.data();
  const std::size_t size = piece.size();
  if (size >= 16 && size <= 32) {
    std::memcpy(at, from, 16);
    std::memcpy(at + size - 16, from + size - 16, 16);
  } else if (size >= 8 && size < 16) {
    std::memcpy(at, from, 8);
    std::memcpy(at + size - 8, from + size - 8, 8);
  } else if (size >= 4 && size < 8) {
    std::memcpy(at, from, 4);
    std::memcpy(at + size - 4, from + size - 4, 4);
  } else if (size > 0 && size < 4) {
    at[0] = from[0];
    at[size / 2] = from[size / 2];
    at[size - 1] = from[size - 1];
  } else if (size > 32) {
    std::memcpy(at, from, size);
  }
  return at + size;
}

// One line made of `pieces` (string literals and texts).
template <typename... Pieces>
void put(Page& page, const Pieces&... pieces) {
  const std::size_t size = (piece_size(pieces) + ...);
  if (page.used + size > kChunkSize) {
    flush(page);
    if (size > kChunkSize) {
      std::string line;
      line.reserve(size);
      ((line += std::string_view(pieces)), ...);
      write_piece(page.out, line, kWriteFailed);
      return;
    }
  }
  char* at = page.chunk.get() + page.used;
  ((at = copy_piece(at, pieces)), ...);
  page.used += size;
}

std::string count_text(std::size_t count) { return std::to_string(count); }

// The plural "s" of the overview headings: empty only for exactly one entry.
std::string_view plural_s(std::size_t count) { return count == 1 ? "" : "s"; }

constexpr std::string_view kCheckbox = "<span class=\"action-checkbox\">&#x25A2;</span>";

constexpr std::string_view kHazardBanners[] = {
    "power-on", "rf-emission", "hazardous-ops", "esd", "fod", "welding", "comsec", "cleanroom"};

// The overview bubble styles, indexed by the colour counter modulo 3.
constexpr std::string_view kBubbleStyles[] = {
    "border: 2px solid #5566AA; background-color: #AABBEE; color: #5566AA;",
    "border: 2px solid #5566AA; background-color: #CCBBFF; color: #5566AA;",
    "border: 2px solid #5566AA; background-color: #CCDDFF; color: #5566AA;",
};

void write_head(Page& out, const Process& process) {
  put(out, "\t<head>\n");
  put(out, "\t\t<title>", process.number, " \"", process.title, "\"</title>\n");
  put(out, "\t\t<meta charset=\"utf-8\" />\n");
  put(out, "\t\t<meta name = \"keywords\" content = \"", process.subject, ", ", process.product,
      "\" />\n");
  put(out, "\t\t<meta name = \"description\" content = \"", process.number, " ", process.title,
      "\" />\n");
  put(out, "\t\t<meta name = \"author\" content = \"", process.author, "\" />\n");
  put(out, "\t\t<meta http-equiv = \"Content-Type\" content = \"text/html; charset = UTF-8\" />\n");
  put(out,
      "\t\t<link rel=\"shortcut icon\" sizes=\"16x16 32x32 48x48\" type=\"image/png\" href=\"../assets/favicon.png\" />\n");
  put(out,
      "\t\t<link rel=\"apple-touch-icon\" sizes=\"180x180\" href=\"../assets/favicon.png\" />\n");
  put(out, "\t\t<link rel=\"mask-icon\" href=\"../assets/favicon.svg\" color=\"#000000\" />\n\n");
  put(out, "\t\t<!-- The morvalen.css applies to every process, regardless of program -->\n");
  put(out, "\t\t<link rel=\"stylesheet\" href=\"../assets/morvalen.css\"/>\n");
  for (const std::string& sheet : process.templates) {
    // The name is linked as written: a template named without ".css" is linked without it.
    put(out, "\t\t<link rel=\"stylesheet\" href=\"../assets/", sheet, "\"/>\n");
  }
  put(out, "\t</head>\n\n");
}

// The start of a page row: its table row, its section of class `section_class` and the
// div `id` that holds the page.
void open_page_row(Page& out, std::string_view section_class, std::string_view id) {
  put(out, "\t\t\t<tr><td>\n\n");
  put(out, "\t\t\t\t<section class=\"", section_class, "\">\n");
  put(out, "\t\t\t\t\t<div id=\"", id, "\">\n");
}

// The end of a page row that open_page_row began.
void close_page_row(Page& out) {
  put(out, "\t\t\t\t\t</div>\n");
  put(out, "\t\t\t\t</section>\n\n");
  put(out, "\t\t\t</td></tr>\n\n");
}

// The start of the page row of a table about `process`: open_page_row and the heading
// "{word} Table for {number} "{title}"".
void open_table_page_row(Page& out, std::string_view id, std::string_view word,
                         const Process& process) {
  open_page_row(out, "", id);
  put(out, "\t\t\t\t\t\t<span class=\"toc-title\">", word, " Table for ", process.number, " \"",
      process.title, "\"</span>\n");
}

// The end of such a page row, after the table's body: the table, its container, the row.
void close_table_page_row(Page& out) {
  put(out, "\t\t\t\t\t\t\t\t</tbody>\n");
  put(out, "\t\t\t\t\t\t\t</table>\n");
  put(out, "\t\t\t\t\t\t</div>\n");
  close_page_row(out);
}

void write_title_page(Page& out, const Process& process) {
  // The placeholder type means no Process Type line: the title page then leaves it out.
  const std::string type =
      process.process_type == kNoProcessType ? std::string() : "<br/>" + process.process_type;
  open_page_row(out, "hide-on-screen", "title-page");
  put(out, "\t\t\t\t\t\t<div id=\"title-page-title\">", process.title, "</div>\n");
  put(out, "\t\t\t\t\t\t<div id=\"title-page-docno\">", process.number, type, "<br/>Revision ",
      process.get_revision(), "</div>\n");
  put(out, "\t\t\t\t\t\t<div id=\"title-page-authors\">\n");
  put(out, "\t\t\t\t\t\t\t<table>\n");
  put(out, "\t\t\t\t\t\t\t\t<thead>\n");
  put(out, "\t\t\t\t\t\t\t\t\t<tr>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td>Written by:<br/>", process.author, "</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td>Reviewed by:<br/>", process.reviewer, "</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t</tr>\n");
  put(out, "\t\t\t\t\t\t\t\t</thead>\n");
  put(out, "\t\t\t\t\t\t\t\t<tbody>\n");
  put(out, "\t\t\t\t\t\t\t\t\t<tr>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td></td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td></td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t</tr>\n");
  put(out, "\t\t\t\t\t\t\t\t</tbody>\n");
  put(out, "\t\t\t\t\t\t\t</table>\n");
  put(out, "\t\t\t\t\t\t</div>\n");
  put(out, "\t\t\t\t\t\t<div id=\"title-page-fine-print\"></div>\n");
  put(out, "\t\t\t\t\t\t<div id=\"title-page-no-ai\"></div>\n");
  close_page_row(out);
}

void write_revision_page(Page& out, const Process& process) {
  open_table_page_row(out, "revision-page", "Revision", process);
  put(out, "\t\t\t\t\t\t<div class=\"revision-table-container\">\n");
  put(out, "\t\t\t\t\t\t\t<table>\n");
  put(out, "\t\t\t\t\t\t\t\t<thead>\n");
  put(out, "\t\t\t\t\t\t\t\t\t<tr>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-rev\">Rev</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-change\">What Changed</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t</tr>\n");
  put(out, "\t\t\t\t\t\t\t\t</thead>\n");
  put(out, "\t\t\t\t\t\t\t\t<tbody>\n");
  // Documents list the newest revision first; the table shows the oldest first, so the
  // current revision (the first entry) is the last, marked row.
  for (std::size_t index = process.revisions.size(); index-- > 0;) {
    const RevisionEntry& entry = process.revisions[index];
    if (index != 0) {
      put(out, "\t\t\t\t\t\t\t\t\t<tr>\n");
      put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-rev\">", entry.revision, "</td>\n");
    } else {
      put(out, "\t\t\t\t\t\t\t\t\t<tr class=\"current-rev\">\n");
      put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-rev\"><span class=\"current-rev\">",
          entry.revision, "</span></td>\n");
    }
    put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"revision-table-change\">", entry.description,
        "</td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t</tr>\n");
  }
  close_table_page_row(out);
}

void write_requirements_page(Page& out, const Process& process) {
  open_table_page_row(out, "requirements-page", "Requirements", process);
  put(out,
      "\t\t\t\t\t\t<div class=\"requirement\">Successful execution of this procedure produces evidence of verification for the requirements listed in the table below. Therefore, this procedure's execution is particularly important for us to achieve our goal. When you see procedure call-outs in this style of box, that step is what produces this critical evidence. Take the time to understand how these requirements will be verified prior to starting this procedure, and consult this procedure's author (",
      process.author, ") if necessary.</div>\n");
  put(out, "\t\t\t\t\t\t<div class=\"requirements-table-container\">\n");
  put(out, "\t\t\t\t\t\t\t<table>\n");
  put(out, "\t\t\t\t\t\t\t\t<thead>\n");
  put(out, "\t\t\t\t\t\t\t\t\t<tr>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"requirements-table-rid\">RID</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"requirements-table-text\">Text of Requirement</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"requirements-table-method\">Verif. Method</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"requirements-table-step\">Step</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t</tr>\n");
  put(out, "\t\t\t\t\t\t\t\t</thead>\n");
  put(out, "\t\t\t\t\t\t\t\t<tbody>\n");
  for (const LabelledRequirement& entry : process.verifications) {
    put(out, "\t\t\t\t\t\t\t\t\t<tr>\n");
    put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"requirements-table-rid\">", entry.requirement.rid,
        "</td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"requirements-table-text\">", entry.requirement.text,
        "</td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"requirements-table-method\">",
        entry.requirement.get_method(), "</td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"requirements-table-step\">", entry.label, "</td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t</tr>\n");
  }
  close_table_page_row(out);
}

void write_toc_page(Page& out, const Process& process, const std::vector<Section>& sections) {
  open_page_row(out, "", "toc");
  put(out, "\t\t\t\t\t\t<span class=\"toc-title\">", process.number, ", Rev ",
      process.get_revision(), " \"", process.title, "\"</span>\n");
  put(out, "\t\t\t\t\t\t<ul style=\"toc-section\">\n");
  for (std::size_t s = 0; s < sections.size(); ++s) {
    const std::string n = count_text(s + 1);
    put(out, "\t\t\t\t\t\t\t<li><a class=\"pageref\" href=\"#Section", n, "\">Section ", n,
        "</a>: ", sections[s].title, "</li>\n");
    put(out, "\t\t\t\t\t\t\t\t<ul style=\"toc-step\">\n");
    const std::vector<Step>& steps = sections[s].steps;
    for (std::size_t t = 0; t < steps.size(); ++t) {
      const std::string number = n + "." + count_text(t + 1);
      put(out, "\t\t\t\t\t\t\t\t\t<li><a class=\"pageref\" href=\"#Step", number, "\">Step ",
          number, "</a>: ", steps[t].title, "</li>\n");
    }
    put(out, "\t\t\t\t\t\t\t\t</ul>\n");
  }
  put(out, "\t\t\t\t\t\t</ul>\n\n");
  put(out, "\t\t\t\t\t</div>\n");
  put(out, "\t\t\t\t\t<div id=\"roles\">\n");
  put(out,
      "\t\t\t\t\t\t<span class=\"toc-title\">Personnel Performing this Process, by Named Role:</span>\n");
  put(out, "\t\t\t\t\t\t<table id=\"roles-table\">\n");
  put(out, "\t\t\t\t\t\t\t<thead id=\"roles-header\">\n");
  put(out, "\t\t\t\t\t\t\t\t<tr>\n");
  put(out, "\t\t\t\t\t\t\t\t\t<td class=\"role-title\">Role in this Process</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t<td class=\"role-name\">Name of Person</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t<td class=\"role-initials\">Initials</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t<td class=\"role-contact\">Contact Information</td>\n");
  put(out, "\t\t\t\t\t\t\t\t</tr>\n");
  put(out, "\t\t\t\t\t\t\t</thead>\n");
  put(out, "\t\t\t\t\t\t\t<tbody>\n");
  for (int k = 1; k <= 10; ++k) {
    const std::string kk = k < 10 ? "0" + std::to_string(k) : std::to_string(k);
    put(out, "\t\t\t\t\t\t\t\t<tr id=\"role-", kk, "\">\n");
    put(out, "\t\t\t\t\t\t\t\t\t<td class=\"role-title\"></td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t<td class=\"role-name\"></td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t<td class=\"role-initials\"></td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t<td class=\"role-contact\"></td>\n");
    put(out, "\t\t\t\t\t\t\t\t</tr>\n");
  }
  put(out, "\t\t\t\t\t\t\t</tbody>\n");
  put(out, "\t\t\t\t\t\t</table>\n");
  put(out, "\t\t\t\t\t</div>\n");
  for (std::string_view banner : kHazardBanners) {
    put(out, "\t\t\t\t\t<div class=\"", banner, "\"><img/><span class=\"", banner,
        "-text\"></span></div>\n");
  }
  put(out, "\t\t\t\t</section>\n\n");
  put(out, "\t\t\t</td></tr>\n\n");
}

void write_labelled_list(Page& out, const std::vector<LabelledText>& entries) {
  for (const LabelledText& entry : entries) {
    put(out, "\t\t\t\t\t\t\t<li>", entry.text, " (", entry.label, ")</li>\n");
  }
}

// The numbered list of `entries` under its heading "This process has {count}{noun}:";
// nothing without entries.
void write_labelled_section(Page& out, const std::vector<LabelledText>& entries,
                            std::string_view id, std::string_view noun,
                            std::string_view list_class) {
  if (entries.empty()) return;
  const std::size_t count = entries.size();
  put(out, "\t\t\t\t\t<div id=\"", id, "\">\n");
  put(out, "\t\t\t\t\t\t<span class=\"toc-title\">This process has ", count_text(count), noun,
      plural_s(count), ":</span>\n");
  put(out, "\t\t\t\t\t\t<ol class=\"", list_class, "\">\n");
  write_labelled_list(out, entries);
  put(out, "\t\t\t\t\t\t</ol>\n");
  put(out, "\t\t\t\t\t</div>\n");
}

void write_overview_page(Page& out, const Process& process) {
  put(out, "\t\t\t<tr><td>\n\n");
  put(out, "\t\t\t\t<section class=\"\">\n");
  write_labelled_section(out, process.objectives, "all-objectives", " stated objective",
                         "objective-list");
  write_labelled_section(out, process.out_of_scope, "all-out-of-scopes",
                         " <em>Out Of Scope</em> declaration", "out-of-scope-list");
  put(out, "\t\t\t\t\t<div id=\"subject-product\">\n");
  if (!process.product.empty() && process.product != "N/A") {
    put(out, "\t\t\t\t\t\t<span class=\"toc-title\">\"", process.title, "\" applies to <em>",
        process.subject, "</em> to produce <em>", process.product, "</em></span><br/>\n");
    put(out, "\t\t\t\t\t\t<div class=\"subject-product-image-container\"><img src=\"",
        process.subject_image, "\"/><span class=\"arrow\">&rarr;</span><img src=\"",
        process.product_image, "\"/></div>\n");
  } else {
    put(out, "\t\t\t\t\t\t<span class=\"toc-title\">\"", process.title, "\" applies to <em>",
        process.subject, "</em></span><br/>\n");
    put(out, "\t\t\t\t\t\t<div class=\"subject-product-image-container\"><img src=\"",
        process.subject_image, "\"/></div>\n");
  }
  put(out, "\t\t\t\t\t</div>\n");
  if (!process.resources.empty()) {
    put(out, "\t\t\t\t\t\t<div class=\"resources-container\">\n");
    put(out, "\t\t\t\t\t\t<span class=\"resources-text\">", count_text(process.resources.size()),
        " named resources are identified to perform this process:</span><br/>\n");
    // The colour moves on whenever the step label changes, so each run of resources of one
    // step shares a colour, and a step met again later gets the next colour, not its old one.
    std::size_t counter = 0;
    std::string_view previous;
    for (const LabelledResource& entry : process.resources) {
      if (entry.label != previous) ++counter;
      previous = entry.label;
      put(out, "\t\t\t\t\t\t\t<div class=\"resource-bubble\" style=\"", kBubbleStyles[counter % 3],
          ";\"><span class=\"resource-bubble-step\">", entry.label, "</span><br/>",
          entry.resource.name, "</div>\n");
    }
    put(out, "\t\t\t\t\t\t</div><div style=\"clear:both;\"></div>\n");
  }
  put(out, "\t\t\t\t</section>\n\n");
  put(out, "\t\t\t</td></tr>\n\n");
}

void write_non_conformance_log(Page& out) {
  put(out, "\t\t\t<tr id=\"non-conformances\"><td>\n\n");
  put(out, "\t\t\t\t<section class=\"\">\n");
  put(out,
      "\t\t\t\t\t<span class=\"toc-title\">Log of Non-Conformances during this execution (print and insert more copies of this sheet as needed):</span>\n");
  put(out, "\t\t\t\t\t<table>\n");
  put(out, "\t\t\t\t\t\t<thead>\n");
  put(out, "\t\t\t\t\t\t\t<tr>\n");
  put(out, "\t\t\t\t\t\t\t\t<td class=\"text-rotated\">Time</td>\n");
  put(out, "\t\t\t\t\t\t\t\t<td class=\"text-rotated\">Step</td>\n");
  put(out, "\t\t\t\t\t\t\t\t<td class=\"text-rotated\">Record</td>\n");
  put(out,
      "\t\t\t\t\t\t\t\t<td>Brief Summary of Observation(s) that Deviated from Documented Expectations</td>\n");
  put(out, "\t\t\t\t\t\t\t</tr>\n");
  put(out, "\t\t\t\t\t\t</thead>\n");
  put(out, "\t\t\t\t\t\t<tbody>\n");
  for (int row = 0; row < 5; ++row) {
    put(out, "\t\t\t\t\t\t\t<tr>\n");
    for (int cell = 0; cell < 4; ++cell) put(out, "\t\t\t\t\t\t\t\t<td></td>\n");
    put(out, "\t\t\t\t\t\t\t</tr>\n");
  }
  put(out, "\t\t\t\t\t\t</tbody>\n");
  put(out, "\t\t\t\t\t</table>\n");
  put(out, "\t\t\t\t</section>\n\n");
  put(out, "\t\t\t</td></tr>\n\n");
}

void write_action_table(Page& out, const ActionSequence& sequence) {
  put(out, "\t\t\t\t\t\t<div class=\"action-sequence\">\n");
  put(out, "\t\t\t\t\t\t\t<table>\n");
  put(out, "\t\t\t\t\t\t\t\t<thead>\n");
  put(out, "\t\t\t\t\t\t\t\t\t<tr>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-action\">Action to perform</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-expected\">Expected</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-result\">Result</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-tpv\">Done</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-tpv\">TPV</td>\n");
  put(out, "\t\t\t\t\t\t\t\t\t</tr>\n");
  put(out, "\t\t\t\t\t\t\t\t</thead>\n");
  put(out, "\t\t\t\t\t\t\t\t<tbody>\n");
  for (const Action& action : sequence.actions) {
    put(out, "\t\t\t\t\t\t\t\t\t<tr>\n");
    put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-action\">", action.action, "</td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-expected\">", action.expected,
        "</td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-result\"></td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-tpv\">", kCheckbox, "</td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t\t<td class=\"action-sequence-tpv\">",
        action.tpv ? kCheckbox : std::string_view("N/A"), "</td>\n");
    put(out, "\t\t\t\t\t\t\t\t\t</tr>\n");
  }
  put(out, "\t\t\t\t\t\t\t\t</tbody>\n");
  put(out, "\t\t\t\t\t\t\t</table>\n");
  put(out, "\t\t\t\t\t\t</div>\n");
}

void write_csv_table(Page& out, const Table& table) {
  if (table.rows.empty()) return;
  const std::vector<std::string>& header = table.rows.front();
  const std::size_t columns = header.size();
  put(out, "\t\t\t\t\t\t<div class=\"csv-table-container\">\n");
  put(out, "\t\t\t\t\t\t\t<table>\n");
  put(out, "\t\t\t\t\t\t\t\t<caption>", table.caption, "</caption>\n");
  put(out, "\t\t\t\t\t\t\t\t<thead>\n");
  put(out, "\t\t\t\t\t\t\t\t\t<tr>\n");
  for (const std::string& cell : header) put(out, "\t\t\t\t\t\t\t\t\t\t<th>", cell, "</th>\n");
  put(out, "\t\t\t\t\t\t\t\t\t</tr>\n");
  put(out, "\t\t\t\t\t\t\t\t</thead>\n");
  put(out, "\t\t\t\t\t\t\t\t<tbody>\n");
  for (std::size_t index = 1; index < table.rows.size(); ++index) {
    // Read in place rather than through get_row, which copies the row. Every row is as wide
    // as the header when filled through add_row; a shorter one gets empty cells for the
    // missing ones, as add_row would have given it, instead of a read past its end.
    const std::vector<std::string>& row = table.rows[index];
    put(out, "\t\t\t\t\t\t\t\t\t<tr>\n");
    for (std::size_t cell = 0; cell < columns; ++cell) {
      const std::string_view text = cell < row.size() ? std::string_view(row[cell]) : "";
      put(out, "\t\t\t\t\t\t\t\t\t\t<td>", text, "</td>\n");
    }
    put(out, "\t\t\t\t\t\t\t\t\t</tr>\n");
  }
  put(out, "\t\t\t\t\t\t\t\t</tbody>\n");
  put(out, "\t\t\t\t\t\t\t</table>\n");
  put(out, "\t\t\t\t\t\t</div>\n");
}

void write_sub_step(Page& out, std::string_view author, const SubStep& sub_step) {
  if (const auto* item = std::get_if<Objective>(&sub_step)) {
    put(out, "\t\t\t\t\t\t<div class=\"objective\">", item->text, "</div>\n");
  } else if (const auto* item = std::get_if<OutOfScope>(&sub_step)) {
    put(out, "\t\t\t\t\t\t<div class=\"out-of-scope\">", item->text, "</div>\n");
  } else if (const auto* item = std::get_if<ActionSequence>(&sub_step)) {
    write_action_table(out, *item);
  } else if (const auto* item = std::get_if<Command>(&sub_step)) {
    put(out, "\t\t\t\t\t\t<div class=\"command\"><span class=\"command-text\">", item->text,
        "</span></div>\n");
  } else if (const auto* item = std::get_if<Image>(&sub_step)) {
    put(out, "\t\t\t\t\t\t<div class=\"image\"><div class=\"image-container\"><img src=\"",
        item->file,
        "\" onerror=\"this.onerror=null; this.src='../assets/placeholderImage-small.png'\"/><br/><span class=\"image-text\">",
        item->text, "</span></div></div>\n");
  } else if (const auto* item = std::get_if<Warning>(&sub_step)) {
    put(out, "\t\t\t\t\t\t<div class=\"warning\"><span class=\"warning-text\">", item->text,
        "</span></div>\n");
  } else if (const auto* item = std::get_if<Verification>(&sub_step)) {
    const Requirement& requirement = item->requirement;
    put(out,
        "\t\t\t\t\t\t<div class=\"requirement\">This step produces the evidence of verification for this requirement:<br/><span class=\"requirement-rid\">",
        requirement.rid, ": \"", requirement.text, "\" (Verify by ", requirement.get_method(),
        ")</span><br/>Please ensure the evidence produced passes the requirement before proceding. This might require consulting this procedure's author, ",
        author, ".</div>\n");
  } else if (const auto* item = std::get_if<Context>(&sub_step)) {
    put(out, "\t\t\t\t\t\t<div class=\"context\"><span class=\"context-text\">", item->text,
        "</span></div>\n");
  } else if (const auto* item = std::get_if<Table>(&sub_step)) {
    write_csv_table(out, *item);
  }
  // A Resource item writes nothing where it stands: the step's resource list shows it.
}

void write_step(Page& out, std::string_view author, std::string_view number, const Step& step) {
  put(out, "\t\t\t\t\t<div class=\"step\"><span class=\"step-text\"><a name=\"Step", number,
      "\"></a>Step ", number, ": ", step.title, "</span><br/>\n");
  if (!step.resources.empty()) {
    put(out, "\t\t\t\t\t\t\t<div class=\"resources-container\">\n");
    put(out, "\t\t\t\t\t\t\t\t<span class=\"resources-text\">", count_text(step.resources.size()),
        " named resources are identified to perform this step:</span><br/>\n");
    for (const Resource& resource : step.resources) {
      put(out, "\t\t\t\t\t\t\t\t<div class=\"resource-bubble\">", resource.name, "</div>\n");
    }
    put(out, "\t\t\t\t\t\t\t</div><div style=\"clear:both;\"></div>\n");
  }
  for (const SubStep& sub_step : step.sub_steps) write_sub_step(out, author, sub_step);
  put(out, "\t\t\t\t\t</div>\n");
}

void write_rev_req_pages(Page& out, const Process& process) {
  write_revision_page(out, process);
  if (!process.verifications.empty()) write_requirements_page(out, process);
}

void write_toc_pages(Page& out, const Process& process, const std::vector<Section>& sections) {
  write_toc_page(out, process, sections);
  write_overview_page(out, process);
  write_non_conformance_log(out);
}

void write_sections(Page& out, std::string_view author, const std::vector<Section>& sections) {
  for (std::size_t s = 0; s < sections.size(); ++s) {
    const std::string n = count_text(s + 1);
    put(out, "\t\t\t<tr><td>\n\n");
    put(out, "\t\t\t\t<section>\n");
    put(out, "\t\t\t\t\t<div class=\"section-title\"><a name=\"Section", n, "\"></a>Section ", n,
        ": ", sections[s].title, "</div>\n");
    const std::vector<Step>& steps = sections[s].steps;
    for (std::size_t t = 0; t < steps.size(); ++t) {
      write_step(out, author, n + "." + count_text(t + 1), steps[t]);
    }
    put(out, "\t\t\t\t</section>\n\n");
    put(out, "\t\t\t</td></tr>\n\n");
  }
}

void write_body(Page& out, const Process& process, const std::vector<Section>& sections) {
  put(out, "\t<body>\n\n");
  put(out, "\t\t<div id=\"classification-header\" class=\"classification\"><p></p></div>\n");
  put(out, "\t\t<table>\n\n");
  put(out, "\t\t\t<thead><tr><td>\n");
  put(out, "\t\t\t\t<div class=\"header-space\">&nbsp;</div>\n");
  put(out, "\t\t\t</td></tr></thead>\n\n");
  put(out, "\t\t<tbody>\n\n");
  write_title_page(out, process);
  write_rev_req_pages(out, process);
  write_toc_pages(out, process, sections);
  write_sections(out, process.author, sections);
  put(out, "\t\t</tbody>\n\n");
  put(out, "\t\t\t<tfoot><tr><td>\n");
  put(out, "\t\t\t\t<div class=\"footer-space\">&nbsp;</div>\n");
  put(out, "\t\t\t</td></tr></tfoot>\n");
  put(out, "\t\t</table>\n\n");
  put(out, "\t\t<div class=\"header\">\n");
  put(out, "\t\t\t<table style=\"margin:0; padding:0; width:100%;\">\n");
  put(out, "\t\t\t\t<tbody style=\"margin:0; padding:0;\">\n");
  put(out, "\t\t\t\t\t<tr style=\"vertical-align: top; margin:0;\">\n");
  put(out,
      "\t\t\t\t\t\t<td id=\"header-left\"><p class=\"header-p\"><img/><span style=\"font-size:1.3em; font-weight:bold;\">",
      process.number, ", Rev ", process.get_revision(), "</span><br/>Written by: ", process.author,
      "<br/>Reviewed by: ", process.reviewer, "</p></td>\n");
  put(out,
      "\t\t\t\t\t\t<td id=\"header-right\"><p class=\"header-p\"><span style=\"font-size:1.3em; font-weight:bold;\">",
      process.title, "</span><br/>Applies to ", process.subject, " to produce ", process.product,
      "<br/>", count_text(process.resources.size()),
      " named resources are identified to perform this process</p></td>\n");
  put(out, "\t\t\t\t\t</tr>\n");
  put(out, "\t\t\t\t</tbody>\n");
  put(out, "\t\t\t</table>\n");
  put(out, "\t\t</div>\n");
  put(out, "\t\t<div class=\"footer\">\n");
  put(out, "\t\t\t<table style=\"margin:0; padding:0; width:100%;\">\n");
  // Unlike the header's tbody: with a width, and no semicolon after "100%".
  put(out, "\t\t\t\t<tbody style=\"margin:0; padding:0; width:100%\">\n");
  put(out, "\t\t\t\t\t<tr style=\"vertical-align: top; margin:0;\">\n");
  // The span is left empty and unclosed, as every page so far has it.
  put(out,
      "\t\t\t\t\t\t<td width=\"35%\" style=\"margin:0; padding:0;\"><p class=\"header-p\"><a href=\"",
      kMakerSiteLink, "\"><img/>Produced efficiently with Meridane Group</a><span></p></td>\n");
  put(out,
      "\t\t\t\t\t\t<td><p class=\"header-p\"><span>See this document's first page for restrictions and distribution statements.</span><br/></p></td>\n");
  put(out, "\t\t\t\t\t</tr>\n");
  put(out, "\t\t\t\t</tbody>\n");
  put(out, "\t\t\t</table>\n");
  put(out, "\t\t</div>\n");
  put(out, "\t\t<div id=\"classification-footer\" class=\"classification\"><p></p></div>\n\n");
  put(out, "\t</body>\n\n");
}

void write_page(Page& out, const Process& process) {
  put(out, "<!DOCTYPE html>\n");
  put(out, "<html lang=\"en-US\">\n\n");
  write_head(out, process);
  write_body(out, process, process.sections);
  put(out, "</html>");
  flush(out);
}

}  // namespace

void generate_complete_html(const std::string& path, const Process& process,
                            const std::string& shown_path) {
  OutputFile file(path, "cannot open file", kWriteFailed, shown_path);
  // A user whose disk filled up during a run over many documents must learn which page
  // could not be written.
  Page out{file.stream(), file.failure()};
  write_page(out, process);
  file.commit();
}

void write_complete_html(std::ostream& stream, const Process& process) {
  Page out{stream};
  write_page(out, process);
}

void compose_html_body(std::ostream& stream, const Process& process,
                       const std::vector<Section>& sections) {
  Page out{stream};
  write_body(out, process, sections);
  flush(out);
}

void compose_html_body_rev_req_page(std::ostream& stream, const Process& process) {
  Page out{stream};
  write_rev_req_pages(out, process);
  flush(out);
}

void compose_html_body_toc(std::ostream& stream, const Process& process,
                           const std::vector<Section>& sections) {
  Page out{stream};
  write_toc_pages(out, process, sections);
  flush(out);
}

void compose_html_body_section(std::ostream& stream, std::string_view author,
                               const std::vector<Section>& sections) {
  Page out{stream};
  write_sections(out, author, sections);
  flush(out);
}

}  // namespace morvalen
