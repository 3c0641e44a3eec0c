#include "browser_stand_ins.h"

#include <cstdlib>
#include <filesystem>

#include "pdf_printer.h"
#include "test_support.h"

namespace morvalen::testing_support {

std::string real_browser() {
  const char* path = std::getenv("PATH");
  return find_browser(path != nullptr ? path : "").value_or("");
}

std::string browser_killed_at_second_print(const std::string& real_browser) {
  return "#!/usr/bin/perl\n"
         "use strict;\n"
         "use warnings;\n"
         "use POSIX ();\n"
         "my $real = '" +
         real_browser +
         "';\n"
         "my $marker = \"$0.started\";\n"
         "if (-e $marker) { exec { $real } $real, @ARGV; POSIX::_exit(127); }\n"
         "open(my $mark, '>', $marker) or die; close $mark;\n"
         "pipe(my $to_r, my $to_w) or die;\n"
         "pipe(my $from_r, my $from_w) or die;\n"
         "my $pid = fork() // die;\n"
         "if ($pid == 0) {\n"
         "  POSIX::dup2(fileno($to_r), 3); POSIX::dup2(fileno($from_w), 4);\n"
         "  exec { $real } $real, @ARGV; POSIX::_exit(127);\n"
         "}\n"
         "close $to_r; close $from_w;\n"
         "open(my $in, '<&=', 3) or die; open(my $out, '>&=', 4) or die;\n"
         "sub put { my ($fh, $bytes) = @_; while (length $bytes) { my $n = syswrite($fh, $bytes);"
         " exit 0 unless defined $n; substr($bytes, 0, $n, ''); } }\n"
         "my ($pending, $prints, $buf) = ('', 0, '');\n"
         "while (1) {\n"
         "  my $rin = ''; vec($rin, 3, 1) = 1; vec($rin, fileno($from_r), 1) = 1;\n"
         "  next if select(my $rout = $rin, undef, undef, undef) <= 0;\n"
         "  if (vec($rout, 3, 1)) {\n"
         "    last unless sysread($in, $buf, 65536);\n"
         "    $pending .= $buf;\n"
         "    while ((my $end = index($pending, \"\\0\")) >= 0) {\n"
         "      my $message = substr($pending, 0, $end + 1, '');\n"
         "      if ($message =~ /\"Page\\.printToPDF\"/ && ++$prints == 2) { kill 'KILL', $pid; exit 0; }\n"
         "      put($to_w, $message);\n"
         "    }\n"
         "  }\n"
         "  if (vec($rout, fileno($from_r), 1)) {\n"
         "    last unless sysread($from_r, $buf, 65536);\n"
         "    put($out, $buf);\n"
         "  }\n"
         "}\n"
         "kill 'KILL', $pid;\n";
}

void write_stand_in(const std::string& path, const std::string& content) {
  write_file(path, content);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

}  // namespace morvalen::testing_support
