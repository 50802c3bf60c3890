// The README and velbatch(1) print the scripts of examples/ that the recipe tests run
// (tests/cluster/), byte for byte, so that what a user pastes is what was tested.
#include <gtest/gtest.h>

#include <string>

#include "program_run.h"

namespace {

// The text of a manual page as it reads: its escapes of "-", "\" and a leading "." undone.
std::string unescaped(const std::string &roff) {
  std::string text;
  for (size_t i = 0; i < roff.size(); i++) {
    if (roff[i] == '\\' && i + 1 < roff.size()) {
      char c = roff[++i];
      if (c == '-') text += '-';
      if (c == 'e') text += '\\';
      if (c == '&') continue;
      if (c != '-' && c != 'e') text += std::string("\\") + c;
      continue;
    }
    text += roff[i];
  }
  return text;
}

TEST(example_scripts, are_printed_as_they_are_by_the_readme_and_the_manual_page) {
  const std::string readme = read_file(std::string(EXAMPLES_DIR) + "/../README.md");
  const std::string page = unescaped(read_file(std::string(MAN_DIR) + "/velbatch.1"));
  for (const char *name : {"slurm-parts.sh", "slurm-join.sh", "parallel-files.sh"}) {
    SCOPED_TRACE(name);
    const std::string script = read_file(std::string(EXAMPLES_DIR) + "/" + name);
    ASSERT_NE(script, "<missing>");
    EXPECT_NE(readme.find("```sh\n" + script + "```\n"), std::string::npos);
    EXPECT_NE(page.find(".RS\n" + script + ".RE\n"), std::string::npos);
  }
}

}  // namespace
