// Tests of the one error reporter.
#include "show_err.h"

#include <gtest/gtest.h>

#include <string>

#include "velquin_texts.h"

namespace {

TEST(show_err, frames_warnings_and_returns) {
  testing::internal::CaptureStdout();
  show_err(2, "module", "a message\n");
  show_err(ERR_WARNING, "m", "no newline");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\n************************************************\n\n Warning, Error Detected!\n\n"
            " Module.: module\n Message: a message\n\n"
            "\n************************************************\n\n"
            "\n************************************************\n\n Warning, Error Detected!\n\n"
            " Module.: m\n Message: no newline\n"
            "\n************************************************\n\n");
  // A fatal report returns as well: the caller ends the run. Quiet, it prints nothing and
  // keeps the message, cut to its buffer.
  testing::internal::CaptureStdout();
  show_err(ERR_FATAL, "m", "x");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), frame(true, "m", "x"));
  std::string long_message(2 * MESSAGE_SIZE, 'm');
  errQuiet = 1;
  testing::internal::CaptureStdout();
  show_err(ERR_WARNING, "m", long_message.c_str());
  errQuiet = 0;
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(errMessage, long_message.substr(0, MESSAGE_SIZE - 1));
  // A program whose standard output holds its results frames its reports on standard error.
  errToStderr = 1;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  show_err(ERR_FATAL, "m", "x");
  errToStderr = 0;
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), frame(true, "m", "x"));
}

}  // namespace
