#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "decimal_comma_locale.hpp"
#include "nn/multi_layer_perceptron.hpp"

namespace {

// The two-input, two-node, one-output network of the format's documentation.
const char *const kExampleFile =
    "number_of_inputs 2\n"
    "number_of_hidden_layers_nodes 2\n"
    "number_of_outputs 1\n"
    "number_of_hidden_layers 1\n"
    "learning_rate  0.100000\n"
    "\n"
    "0.512345 -0.250000 \n"
    "0.125000 0.998001 \n"
    "\n"
    "0.000000 \n"
    "0.000000 \n"
    "\n"
    "-0.750000 0.300000 \n"
    "\n"
    "0.000000 \n";

perceptron_ptr example_network() {
  perceptron_ptr p(create_perceptron(2, 2, 1, 1, 0.1));
  p->hl_weights[0]->data = {0.512345, -0.25, 0.125, 0.998001};
  p->o_weights->data = {-0.75, 0.3};
  return p;
}

// A file name of its own for each test: the tests of this program may run in parallel.
std::string temp_path(const char *suffix) {
  const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
  return testing::TempDir() + "orvanta_" + info->test_suite_name() + "_" + info->name() + "_" +
         std::to_string(getpid()) + suffix;
}

class TempFile {
 public:
  TempFile() : path_(temp_path(".tp")) {}
  explicit TempFile(const std::string &text) : TempFile() {
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const char *path() const { return path_.c_str(); }
  std::string read() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
};

// The network of a file holding `text`. Every case is read twice, from the file and from
// the bytes in memory, which must give the same network (or both none).
perceptron_ptr load_text(const std::string &text) {
  TempFile file(text);
  perceptron_ptr from_file(load_perceptron(file.path()));
  const perceptron_ptr from_bytes(parse_perceptron(text));
  EXPECT_EQ(from_file == nullptr, from_bytes == nullptr);
  if (from_file != nullptr && from_bytes != nullptr) {
    save_perceptron(from_file.get(), file.path());
    const std::string saved = file.read();
    save_perceptron(from_bytes.get(), file.path());
    EXPECT_EQ(file.read(), saved);
  }
  return from_file;
}

std::string with_values(const std::string &header, const std::string &values) {
  return header + values;
}

const char *const kHeader2211 =
    "number_of_inputs 2\nnumber_of_hidden_layers_nodes 2\nnumber_of_outputs 1\n"
    "number_of_hidden_layers 1\nlearning_rate  0.100000\n";

// The C library's own "%lf" text, in the "C" locale.
std::string c_format(double value) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%lf", value);
  return buffer;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Writing

TEST(SavePerceptron, ExampleNetworkByteForByte) {
  perceptron_ptr p = example_network();
  TempFile file;
  ASSERT_EQ(save_perceptron(p.get(), file.path()), 0);
  EXPECT_EQ(file.read(), kExampleFile);
}

TEST(SavePerceptron, ValuesAreWrittenAsPrintfWouldInTheCLocale) {
  const std::vector<double> values = {
      0.0,        -0.0,    -1e-9,     4e-7,       5e-7,    -5e-7,    0.0000015,  0.0000025,
      0.1234565,  123.5,   -987654.3, 2.5e-300,   1.5e300, -1.7e308, 1e15 + 0.3, 0.9999995,
      -0.9999996, 2.0 / 3, 1.0 / 3,   4294967296, 1e22,    5e-324};
  perceptron_ptr p(create_perceptron(1, 1, 1, static_cast<std::uint32_t>(values.size()), 0.1));
  std::string expected =
      "number_of_inputs 1\nnumber_of_hidden_layers_nodes 1\nnumber_of_outputs "
      "1\nnumber_of_hidden_layers " +
      std::to_string(values.size()) + "\nlearning_rate  0.100000\n";
  // Each hidden layer is 1 x 1 after the first: one value per matrix.
  for (std::size_t l = 0; l < values.size(); ++l) {
    set_element(p->hl_weights[l], 0, 0, values[l]);
    expected += "\n" + c_format(values[l]) + " \n";
  }
  for (std::size_t l = 0; l < values.size(); ++l) expected += "\n0.000000 \n";
  set_element(p->o_weights, 0, 0, -2.0);
  expected += "\n-2.000000 \n\n0.000000 \n";
  TempFile file;
  ASSERT_EQ(save_perceptron(p.get(), file.path()), 0);
  EXPECT_EQ(file.read(), expected);
}

TEST(SavePerceptron, NullNetworkOrPathIsOne) {
  perceptron_ptr p = example_network();
  TempFile file;
  EXPECT_EQ(save_perceptron(nullptr, file.path()), 1);
  EXPECT_EQ(save_perceptron(p.get(), nullptr), 1);
  EXPECT_EQ(file.read(), "");
}

TEST(SavePerceptron, FileThatCannotBeOpenedIsAFailure) {
  perceptron_ptr p = example_network();
  EXPECT_NE(save_perceptron(p.get(), "/nonexistent-orvanta-dir/model.tp"), 0);
}

TEST(SavePerceptron, FailedWriteIsAFailure) {
  perceptron_ptr p = example_network();
  EXPECT_NE(save_perceptron(p.get(), "/dev/full"), 0);
}

// ---------------------------------------------------------------------------------------
// Reading

TEST(LoadPerceptron, ExampleFile) {
  perceptron_ptr p = load_text(kExampleFile);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(get_num_inputs(p.get()), 2u);
  EXPECT_EQ(get_num_hidden_layers_nodes(p.get()), 2u);
  EXPECT_EQ(get_num_outputs(p.get()), 1u);
  EXPECT_EQ(get_num_hidden_layers(p.get()), 1u);
  EXPECT_EQ(p->learning_rate, 0.1);
  EXPECT_EQ(p->hl_weights[0]->data, (std::vector<double>{0.512345, -0.25, 0.125, 0.998001}));
  EXPECT_EQ(p->hl_bias[0]->data, (std::vector<double>{0, 0}));
  EXPECT_EQ(p->o_weights->data, (std::vector<double>{-0.75, 0.3}));
  EXPECT_EQ(p->o_bias->data, (std::vector<double>{0}));
}

// Loading reads every weight from the file; it must not disturb the process's random
// sequence the way creating a fresh, randomly filled network does.
TEST(LoadPerceptron, LeavesTheRandomSequenceAlone) {
  std::srand(7);
  const int expected = std::rand();
  std::srand(7);
  perceptron_ptr p = load_text(kExampleFile);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::rand(), expected);
}

TEST(LoadPerceptron, RoundTripKeepsValuesRoundedToSixDecimals) {
  perceptron_ptr p(create_perceptron(8, 16, 4, 2, 0.37));
  for (double &x : p->o_bias->data) x = -0.3333333;
  for (double &x : p->hl_bias[1]->data) x = 12.00000049;
  TempFile file;
  ASSERT_EQ(save_perceptron(p.get(), file.path()), 0);
  perceptron_ptr q(load_perceptron(file.path()));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(get_num_inputs(q.get()), 8u);
  EXPECT_EQ(get_num_hidden_layers_nodes(q.get()), 16u);
  EXPECT_EQ(get_num_outputs(q.get()), 4u);
  EXPECT_EQ(get_num_hidden_layers(q.get()), 2u);
  const auto rounded = [](double x) { return std::strtod(c_format(x).c_str(), nullptr); };
  EXPECT_EQ(q->learning_rate, 0.37);
  const auto expect_rounded = [&](const matrix *saved, const matrix *loaded) {
    ASSERT_EQ(saved->data.size(), loaded->data.size());
    for (std::size_t i = 0; i < saved->data.size(); ++i)
      EXPECT_EQ(loaded->data[i], rounded(saved->data[i])) << i;
  };
  for (int l = 0; l < 2; ++l) {
    expect_rounded(p->hl_weights[l], q->hl_weights[l]);
    expect_rounded(p->hl_bias[l], q->hl_bias[l]);
  }
  expect_rounded(p->o_weights, q->o_weights);
  expect_rounded(p->o_bias, q->o_bias);
  EXPECT_EQ(q->o_bias->data[3], -0.333333);
  EXPECT_EQ(q->hl_bias[1]->data[0], 12.0);

  // Saving what was loaded gives the same bytes again.
  const std::string first = file.read();
  ASSERT_EQ(save_perceptron(q.get(), file.path()), 0);
  EXPECT_EQ(file.read(), first);
}

TEST(LoadPerceptron, NegativeValueRoundingToZeroLoadsAsNegativeZero) {
  perceptron_ptr p = example_network();
  set_element(p->o_weights, 0, 1, -1e-9);
  TempFile file;
  ASSERT_EQ(save_perceptron(p.get(), file.path()), 0);
  EXPECT_NE(file.read().find("\n-0.750000 -0.000000 \n"), std::string::npos);
  perceptron_ptr q(load_perceptron(file.path()));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(get_element(q->o_weights, 0, 1), 0.0);
  EXPECT_TRUE(std::signbit(get_element(q->o_weights, 0, 1)));
}

TEST(LoadPerceptron, LearningRateRoundingToZeroDoesNotLoad) {
  perceptron_ptr p(create_perceptron(2, 2, 1, 1, 0.0000004));
  TempFile file;
  ASSERT_EQ(save_perceptron(p.get(), file.path()), 0);
  EXPECT_NE(file.read().find("learning_rate  0.000000\n"), std::string::npos);
  EXPECT_EQ(load_perceptron(file.path()), nullptr);
}

TEST(LoadPerceptron, MisspeltKeysLoadByPosition) {
  perceptron_ptr p = load_text(
      "nmber_of_inputs 2\nhidden 2\noutputs_count 1\nnumber_of_hiden_layers 1\nrate 0.25\n"
      "0.512345 -0.25 0.125 0.998001 0.5 -0.5 -0.75 0.3 0.125\n");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->learning_rate, 0.25);
  EXPECT_EQ(p->hl_weights[0]->data, (std::vector<double>{0.512345, -0.25, 0.125, 0.998001}));
  EXPECT_EQ(p->hl_bias[0]->data, (std::vector<double>{0.5, -0.5}));
  EXPECT_EQ(p->o_weights->data, (std::vector<double>{-0.75, 0.3}));
  EXPECT_EQ(p->o_bias->data, (std::vector<double>{0.125}));
}

TEST(LoadPerceptron, LayoutBetweenNumbersAndTrailingTextDoNotMatter) {
  perceptron_ptr p = load_text(with_values(
      kHeader2211, "\t+1e-1\r\n\n  -2 3.5\n4\n\n\n5 6 7 8\n9 whatever follows is not read\n"));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->hl_weights[0]->data, (std::vector<double>{0.1, -2, 3.5, 4}));
  EXPECT_EQ(p->o_bias->data, (std::vector<double>{9}));
}

TEST(LoadPerceptron, MissingFileOrNullPathYieldsNull) {
  EXPECT_EQ(load_perceptron("/nonexistent-orvanta-dir/model.tp"), nullptr);
  EXPECT_EQ(load_perceptron(nullptr), nullptr);
}

TEST(LoadPerceptron, FirstHeaderLineWithoutNumberYieldsNull) {
  EXPECT_EQ(load_text("number_of_inputs\nnumber_of_hidden_layers_nodes 2\nnumber_of_outputs 1\n"
                      "number_of_hidden_layers 1\nlearning_rate  0.1\n1 2 3 4 5 6 7 8 9\n"),
            nullptr);
}

TEST(LoadPerceptron, ZeroOrNegativeCountsYieldNull) {
  EXPECT_EQ(load_text("a 0\nb 2\nc 1\nd 1\ne 0.1\n1 2 3 4 5 6 7 8 9\n"), nullptr);
  EXPECT_EQ(load_text("a 2\nb 2\nc 1\nd -1\ne 0.1\n1 2 3 4 5 6 7 8 9\n"), nullptr);
  EXPECT_EQ(load_text("a 2\nb 2\nc 1\nd 1\ne -0.1\n1 2 3 4 5 6 7 8 9\n"), nullptr);
}

TEST(LoadPerceptron, TruncatedFileYieldsNull) {
  const std::string whole = kExampleFile;
  // Every cut that loses at least one number: after the hidden weights, in the middle
  // of the header, and just before the last value.
  for (const char *end : {"0.998001 \n", "number_of_outputs 1\n", "learning_rate  ", "\n\n"}) {
    const std::size_t cut = whole.rfind(end) + std::string(end).size();
    EXPECT_EQ(load_text(whole.substr(0, cut)), nullptr) << whole.substr(0, cut);
  }
  EXPECT_EQ(load_text(""), nullptr);
}

TEST(LoadPerceptron, TokenThatIsNotANumberYieldsNull) {
  for (const char *bad : {"abc", "0.5x", "0,5", "--1", "0x1p3", "1e", "."}) {
    const std::string text = with_values(kHeader2211, std::string("1 2 3 ") + bad + " 5 6 7 8 9\n");
    EXPECT_EQ(load_text(text), nullptr) << bad;
  }
  EXPECT_EQ(load_text("a 2\nb two\nc 1\nd 1\ne 0.1\n1 2 3 4 5 6 7 8 9\n"), nullptr);
  EXPECT_EQ(load_text("a 2\nb 2\nc 1\nd 1\ne 0.1abc\n1 2 3 4 5 6 7 8 9\n"), nullptr);
}

TEST(LoadPerceptron, NonFiniteValueYieldsNull) {
  for (const char *bad : {"nan", "-nan", "inf", "-inf", "infinity", "1e999"}) {
    const std::string text = with_values(kHeader2211, std::string("1 2 3 4 5 6 ") + bad + " 8 9\n");
    EXPECT_EQ(load_text(text), nullptr) << bad;
  }
  EXPECT_EQ(load_text("a 2\nb 2\nc 1\nd 1\ne inf\n1 2 3 4 5 6 7 8 9\n"), nullptr);
  EXPECT_EQ(load_text("a 2\nb 2\nc 1\nd 1\ne nan\n1 2 3 4 5 6 7 8 9\n"), nullptr);
}

TEST(LoadPerceptron, CountsTheFileCannotHoldYieldNullWithoutAllocating) {
  // Small files declaring networks of gigabytes: refused before anything is created, so
  // no allocation message appears and the call returns at once.
  testing::internal::CaptureStdout();
  EXPECT_EQ(load_text("a 4000000000\nb 4000000000\nc 1\nd 1\ne 0.1\n1 2 3\n"), nullptr);
  EXPECT_EQ(load_text("a 1\nb 1\nc 1\nd 4294967295\ne 0.1\n1 2 3\n"), nullptr);
  EXPECT_EQ(load_text("a 1\nb 65536\nc 1\nd 3\ne 0.1\n1 2 3\n"), nullptr);
  EXPECT_EQ(load_text("a 4294967295\nb 4294967295\nc 4294967295\nd 4294967295\ne 1\n1\n"), nullptr);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(LoadPerceptron, ExactlyEnoughNumbersForSeveralLayersLoads) {
  // 1 input, 2 nodes, 1 output, 3 layers: 2 + 4 + 4 weights, 6 biases, 2 + 1 output.
  std::string values;
  for (int i = 1; i <= 19; ++i) values += std::to_string(i) + " ";
  const std::string header = "a 1\nb 2\nc 1\nd 3\ne 0.5\n";
  perceptron_ptr p = load_text(header + values);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->hl_weights[0]->data, (std::vector<double>{1, 2}));
  EXPECT_EQ(p->hl_weights[2]->data, (std::vector<double>{7, 8, 9, 10}));
  EXPECT_EQ(p->hl_bias[2]->data, (std::vector<double>{15, 16}));
  EXPECT_EQ(p->o_weights->data, (std::vector<double>{17, 18}));
  EXPECT_EQ(p->o_bias->data, (std::vector<double>{19}));
  EXPECT_EQ(load_text(header + values.substr(0, values.rfind("19"))), nullptr);
}

TEST(LoadPerceptron, NetworkLargerThanTheReadBufferRoundTrips) {
  // About 150 KB of text: numbers straddle the reader's buffer, refilled as it goes.
  std::srand(11);
  perceptron_ptr p(create_perceptron(60, 60, 9, 4, 0.05));
  TempFile file;
  ASSERT_EQ(save_perceptron(p.get(), file.path()), 0);
  const std::string first = file.read();
  ASSERT_GT(first.size(), 128u * 1024);
  perceptron_ptr q(load_perceptron(file.path()));
  ASSERT_NE(q, nullptr);
  ASSERT_EQ(save_perceptron(q.get(), file.path()), 0);
  EXPECT_EQ(file.read(), first);
}

TEST(LoadPerceptron, LongTokens) {
  // A value with more digits than any the writer produces still reads; a token beyond
  // the reader's 64 KiB bound is refused, wherever it stands.
  const std::string zeros(1000, '0');
  perceptron_ptr p =
      load_text(with_values(kHeader2211, zeros + "1.5 2 3 4 5 6 7 8 0.1" + zeros + "\n"));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(get_element(p->hl_weights[0], 0, 0), 1.5);
  EXPECT_EQ(get_element(p->o_bias, 0, 0), 0.1);
  const std::string huge(70000, '0');
  EXPECT_EQ(load_text(with_values(kHeader2211, "1 2 3 4 " + huge + "5 6 7 8 9\n")), nullptr);
  EXPECT_EQ(load_text("a 2\nb 2\nc 1\nd 1\ne 0." + huge + "1\n1 2 3 4 5 6 7 8 9\n"), nullptr);
  // A key of that length too: keys are bounded like every other token.
  EXPECT_EQ(load_text(huge + " 2\nb 2\nc 1\nd 1\ne 0.1\n1 2 3 4 5 6 7 8 9\n"), nullptr);
}

TEST(LoadPerceptron, WhatIsNotARegularFileOrIsTooLargeYieldsNullUnread) {
  // A directory, an empty device and an endless one: none is measured against a header.
  EXPECT_EQ(load_perceptron(testing::TempDir().c_str()), nullptr);
  EXPECT_EQ(load_perceptron("/dev/null"), nullptr);
  EXPECT_EQ(load_perceptron("/dev/zero"), nullptr);
  // A FIFO with no writer would block the reader at its opening.
  const std::string fifo = temp_path(".fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(load_perceptron(fifo.c_str()), nullptr);
  std::remove(fifo.c_str());
  // A valid network followed by zero bytes (a sparse file, so nothing is written): at the
  // limit it loads, one byte over it is refused by its size alone.
  TempFile file(kExampleFile);
  ASSERT_EQ(truncate(file.path(), perceptron_file_max_bytes), 0);
  perceptron_ptr at_limit(load_perceptron(file.path()));
  EXPECT_NE(at_limit, nullptr);
  ASSERT_EQ(truncate(file.path(), perceptron_file_max_bytes + 1), 0);
  EXPECT_EQ(load_perceptron(file.path()), nullptr);
}

// ---------------------------------------------------------------------------------------
// Memory: a file is read only as far as its header asks.

namespace {

// The process's peak resident memory (VmHWM) in KiB, or -1 when it cannot be read.
long peak_resident_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

// Loads the file in a child process, whose peak resident memory starts at what it
// shares with this one, and answers how far loading raised that peak, in KiB (-1 when
// the network did not load or the peak could not be read).
long load_peak_growth_kib(const char *path) {
  int pipe_ends[2];
  if (pipe(pipe_ends) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_ends[0]);
    const long before = peak_resident_kib();
    perceptron *p = load_perceptron(path);
    long growth = peak_resident_kib() - before;
    if (p == nullptr || before < 0) growth = -1;
    free_perceptron(p);
    const ssize_t written = write(pipe_ends[1], &growth, sizeof growth);
    _exit(written == sizeof growth ? 0 : 1);
  }
  close(pipe_ends[1]);
  long growth = -1;
  if (child < 0 || read(pipe_ends[0], &growth, sizeof growth) != sizeof growth) growth = -1;
  close(pipe_ends[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return growth;
}

}  // namespace

TEST(LoadPerceptron, TrailingNumbersAreNotRead) {
  // The price model's 8-16-4 network, about 2 KB of text, followed by 50 MB of numbers.
  perceptron_ptr p(create_perceptron(8, 16, 4, 1, 0.1));
  TempFile file;
  ASSERT_EQ(save_perceptron(p.get(), file.path()), 0);
  {
    std::ofstream out(file.path(), std::ios::binary | std::ios::app);
    std::string block;
    for (int i = 0; i < 1024 * 1024 / 8; ++i) block += "0.25 -1 ";
    for (int i = 0; i < 50; ++i) out << block;
  }
  const long growth = load_peak_growth_kib(file.path());
  ASSERT_GE(growth, 0) << "the network did not load, or the child could not measure";
  // Reading the whole file would take several times its 50 MB; the network and the
  // reader's buffer take a few hundred KiB at most.
  EXPECT_LT(growth, 2048) << "peak resident memory grew by " << growth << " KiB";
  RecordProperty("peak_growth_kib", std::to_string(growth));
}

// ---------------------------------------------------------------------------------------
// Locale: the window's toolkit sets the process locale from the environment.

using orvanta_test::DecimalCommaLocale;

TEST_F(DecimalCommaLocale, SaveWritesTheSameBytes) {
  perceptron_ptr p = example_network();
  TempFile file;
  ASSERT_EQ(save_perceptron(p.get(), file.path()), 0);
  EXPECT_EQ(file.read(), kExampleFile);
}

TEST_F(DecimalCommaLocale, LoadReadsPointDecimals) {
  perceptron_ptr p = load_text(kExampleFile);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->learning_rate, 0.1);
  EXPECT_EQ(p->hl_weights[0]->data, (std::vector<double>{0.512345, -0.25, 0.125, 0.998001}));
  EXPECT_EQ(p->o_weights->data, (std::vector<double>{-0.75, 0.3}));
}
