// The CSV reader: header mapping (needed, optional and other columns), RFC 4180 quoting,
// line ends, blank lines, pipes, and the rows that cannot be used, each reported without
// losing the rest of the file.
#include "csv/csv_reader.hpp"

#include <gtest/gtest.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

csv_columns asked(std::vector<std::string> needed, std::vector<std::string> optional = {},
                  bool others = false) {
  csv_columns columns;
  columns.needed = std::move(needed);
  columns.optional = std::move(optional);
  columns.others = others;
  return columns;
}

const csv_columns abc = asked({"a", "b", "c"});
// a, b and c, an optional d, and every other column.
const csv_columns abc_d_others = asked({"a", "b", "c"}, {"d"}, true);

class CsvFile : public ::testing::Test {
 protected:
  std::string path = ::testing::TempDir() + "csv_reader_test_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".csv";
  void TearDown() override { std::remove(path.c_str()); }

  void write(const std::string &bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
  }

  // Every row of the file (fields joined with '|', or "!" and the error), or the open error.
  // The other columns follow after " +", as far as the row holds them.
  std::vector<std::string> rows_of(const std::string &bytes, const csv_columns &columns = abc) {
    write(bytes);
    std::string error;
    csv_file_ptr f(open_csv_file(path.c_str(), columns, &error));
    if (!f) return {"open: " + error};
    std::vector<std::string> out;
    csv_row row;
    int r;
    while ((r = read_csv_row(f.get(), &row, &error)) == 1) {
      std::string s = std::to_string(row.number) + "@" + std::to_string(row.line) + ":";
      if (!row.error.empty()) {
        s += "!" + row.error;
      } else {
        for (std::size_t i = 0; i < row.fields.size(); ++i) s += (i ? "|" : "") + row.fields[i];
      }
      if (columns.others) {
        s += " +";
        for (std::size_t i = 0; i < row.others_read; ++i) s += (i ? "|" : "") + row.others[i];
      }
      out.push_back(s);
    }
    if (r < 0) out.push_back("read: " + error);
    return out;
  }
};

using Rows = std::vector<std::string>;

TEST_F(CsvFile, ColumnsInAnyOrderOtherColumnsIgnored) {
  EXPECT_EQ(rows_of("c,x,A,b\n3,skip,1,2\n6,,4,5\n"), (Rows{"1@2:1|2|3", "2@3:4|5|6"}));
}

TEST_F(CsvFile, ByteOrderMarkAndWindowsLineEnds) {
  EXPECT_EQ(rows_of("\xEF\xBB\xBF"
                    "a,b,c\r\n1,2,3\r\n4,5,6\r\n"),
            (Rows{"1@2:1|2|3", "2@3:4|5|6"}));
}

TEST_F(CsvFile, LastRowWithoutLineEnd) {
  EXPECT_EQ(rows_of("a,b,c\n1,2,3"), (Rows{"1@2:1|2|3"}));
}

TEST_F(CsvFile, BlankLinesAndSeparatorOnlyLinesAreSkipped) {
  EXPECT_EQ(rows_of("\n  \na,b,c\n\n1,2,3\n,,\n   \n4,5,6\n\n"), (Rows{"1@5:1|2|3", "2@8:4|5|6"}));
}

TEST_F(CsvFile, QuotedFieldsWithEscapesCommasAndLineBreaks) {
  EXPECT_EQ(rows_of("a,b,c\n\"x,y\",\"say \"\"hi\"\"\",\"two\nlines\"\n7,8,9\n"),
            (Rows{"1@2:x,y|say \"hi\"|two\nlines", "2@4:7|8|9"}));
}

TEST_F(CsvFile, BlanksAroundUnquotedFieldsAreTrimmedQuotedKept) {
  EXPECT_EQ(rows_of("a , b,\tc\n 1 ,\" 2 \", 3\t\n"), (Rows{"1@2:1| 2 |3"}));
}

TEST_F(CsvFile, TooFewFieldsIsThatRowsErrorOnly) {
  EXPECT_EQ(rows_of("a,b,c\n1,2\n4,5,6\n"),
            (Rows{"1@2:!the row has 2 fields, the header 3", "2@3:4|5|6"}));
}

TEST_F(CsvFile, ExtraFieldsWithTextAreAnErrorEmptyOnesAreNot) {
  EXPECT_EQ(rows_of("a,b,c\n1,2,3,4\n1,2,3,,\n"),
            (Rows{"1@2:!the row has 4 fields, the header 3", "2@3:1|2|3"}));
}

TEST_F(CsvFile, OverLongNeededFieldIsAnErrorOverLongIgnoredFieldIsNot) {
  const std::string huge(200000, 'x');
  EXPECT_EQ(rows_of("a,b,c,note\n1," + huge + ",3,n\n1,2,3,\"" + huge + "\"\n4,5,6,n\n"),
            (Rows{"1@2:!the \"b\" field is longer than 4096 bytes", "2@3:1|2|3", "3@4:4|5|6"}));
}

TEST_F(CsvFile, OverLongFieldsAreSkippedWhereverTheyEnd) {
  const std::string huge(100000, 'x');
  // Unquoted at the end of its line; quoted with escaped quotes, separators and line
  // breaks inside; quoted and followed by an empty field; the file's last field.
  EXPECT_EQ(rows_of("a,b,c\n1,2," + huge + "\n4,\"" + huge + "\"\"," + huge + "\n" + huge +
                    "\",6\n7,8,9\n1,2,\"" + huge + "\"\r\n,3,\"" + huge + "\",\n7,8," + huge),
            (Rows{"1@2:!the \"c\" field is longer than 4096 bytes",
                  "2@3:!the \"b\" field is longer than 4096 bytes", "3@5:7|8|9",
                  "4@6:!the \"c\" field is longer than 4096 bytes",
                  "5@7:!the \"c\" field is longer than 4096 bytes",
                  "6@8:!the \"c\" field is longer than 4096 bytes"}));
  EXPECT_EQ(rows_of("a,b,c\n1,2,\"" + huge), (Rows{"1@2:!a quoted field has no closing quote "
                                                   "before the end of the file"}));
}

TEST_F(CsvFile, OldMacLineEndsCountAsLines) {
  EXPECT_EQ(rows_of("a,b,c\r1,2,3\r\r4,5,6\r\n7,8,9\n\r\"x\ry\",2,3\r1,2"),
            (Rows{"1@2:1|2|3", "2@4:4|5|6", "3@5:7|8|9", "4@8:x\ry|2|3",
                  "5@9:!the row has 2 fields, the header 3"}));
  // A CR, then a line of text that ends with an LF: two line ends.
  EXPECT_EQ(rows_of("a,b,c\r1,2,3\n4,5,6\n"), (Rows{"1@2:1|2|3", "2@3:4|5|6"}));
}

TEST_F(CsvFile, FieldAtTheLimitIsKept) {
  const std::string longest(csv_max_field_bytes, 'y');
  EXPECT_EQ(rows_of("a,b,c\n1,\"" + longest + "\",3\n"), (Rows{"1@2:1|" + longest + "|3"}));
}

TEST_F(CsvFile, NulByteInNeededFieldIsAnError) {
  EXPECT_EQ(rows_of(std::string("a,b,c\n1,2\0x,3\n4,5,6\n", 20)),
            (Rows{"1@2:!the \"b\" field holds a NUL byte", "2@3:4|5|6"}));
}

TEST_F(CsvFile, UnclosedQuoteAtEndIsAnErrorRow) {
  EXPECT_EQ(
      rows_of("a,b,c\n1,2,3\n4,\"5,6\n7,8,9\n"),
      (Rows{"1@2:1|2|3", "2@3:!a quoted field has no closing quote before the end of the file"}));
}

TEST_F(CsvFile, FieldByName) {
  write("B,a,c\n2,1,3\n");
  std::string error;
  csv_file_ptr f(open_csv_file(path.c_str(), abc, &error));
  ASSERT_TRUE(f) << error;
  csv_row row;
  ASSERT_EQ(read_csv_row(f.get(), &row, &error), 1);
  ASSERT_NE(csv_field(f.get(), &row, "b"), nullptr);
  EXPECT_EQ(*csv_field(f.get(), &row, "b"), "2");
  EXPECT_EQ(*csv_field(f.get(), &row, "C"), "3");
  EXPECT_EQ(csv_field(f.get(), &row, "z"), nullptr);
  EXPECT_EQ(read_csv_row(f.get(), &row, &error), 0);
  EXPECT_EQ(read_csv_row(f.get(), &row, &error), 0);
}

TEST_F(CsvFile, HeaderOnlyHasNoRows) {
  EXPECT_EQ(rows_of("a,b,c\r\n"), Rows{});
}

TEST_F(CsvFile, MissingColumnsAreNamed) {
  EXPECT_EQ(rows_of("a,x\n1,2\n"),
            (Rows{"open: " + path +
                  ": the header line has no column \"b\", \"c\" (the columns needed are a,b,c)"}));
}

TEST_F(CsvFile, ColumnNamedTwiceIsRefused) {
  EXPECT_EQ(rows_of("a,b,c,A\n"),
            (Rows{"open: " + path + ": the header line names the column \"a\" twice"}));
  // The rows read with such a header, other columns and all, are dropped with it.
  EXPECT_EQ(rows_of("a,b,c,A,x\n1,2,3,4,5\n", abc_d_others),
            (Rows{"open: " + path + ": the header line names the column \"a\" twice"}));
}

TEST_F(CsvFile, EmptyFileHasNoHeader) {
  EXPECT_EQ(rows_of("\xEF\xBB\xBF\n\n"),
            (Rows{"open: " + path + ": no header line (the file is empty)"}));
}

TEST_F(CsvFile, HeaderEndingInsideQuotesIsRefused) {
  EXPECT_EQ(rows_of("a,\"b,c\n"),
            (Rows{"open: " + path + ": the header line ends inside a quoted field"}));
}

TEST_F(CsvFile, OptionalColumnsAreReadFromTheOneHeader) {
  const csv_columns abc_d = asked({"a", "b", "c"}, {"d"});
  EXPECT_EQ(rows_of("c,D,a,b\n3,4,1,2\n", abc_d), (Rows{"1@2:1|2|3|4"}));
  EXPECT_EQ(rows_of("c,a,b\n3,1,2\n", abc_d), (Rows{"1@2:1|2|3|"}));
  EXPECT_EQ(rows_of("d,a,b,c,d\n", abc_d),
            (Rows{"open: " + path + ": the header line names the column \"d\" twice"}));
  EXPECT_EQ(rows_of("d,a\n", abc_d), (Rows{"open: " + path +
                                           ": the header line has no column \"b\", \"c\" (the "
                                           "columns needed are a,b,c)"}));
  write("a,b,c\n1,2,3\n");
  std::string error;
  csv_file_ptr f(open_csv_file(path.c_str(), abc_d, &error));
  ASSERT_TRUE(f) << error;
  EXPECT_TRUE(csv_has_column(f.get(), "B"));
  EXPECT_FALSE(csv_has_column(f.get(), "d"));
  csv_row row;
  ASSERT_EQ(read_csv_row(f.get(), &row, &error), 1);
  EXPECT_EQ(csv_field(f.get(), &row, "d"), nullptr);  // not in this header
}

TEST_F(CsvFile, OtherColumnsInTheHeadersOrderAsFarAsTheRowIsRead) {
  write("x,a,,b,c,X\n");
  std::string error;
  csv_file_ptr f(open_csv_file(path.c_str(), abc_d_others, &error));
  ASSERT_TRUE(f) << error;
  const std::vector<csv_other_column> &others = csv_other_columns(f.get());
  ASSERT_EQ(others.size(), 3u);
  EXPECT_EQ((others[0].name + "@" + std::to_string(others[0].place)), "x@1");
  EXPECT_EQ((others[1].name + "@" + std::to_string(others[1].place)), "@3");
  EXPECT_EQ((others[2].name + "@" + std::to_string(others[2].place)), "X@6");
  EXPECT_EQ(rows_of("x,a,,b,c,X\n"
                    "1,2,3,4,5,6\n"
                    "\"q,\"\"\", 2 ,\" \",4,5\n"
                    "7,8\n"
                    "1,2,3,4,5,6,7\n",
                    abc_d_others),
            (Rows{"1@2:2|4|5| +1|3|6", "2@3:!the row has 5 fields, the header 6 +q,\"| ",
                  "3@4:!the row has 2 fields, the header 6 +7",
                  "4@5:!the row has 7 fields, the header 6 +1|3|6"}));
  // Without `others`, the same file keeps only what was asked for.
  EXPECT_EQ(rows_of("x,a,,b,c,X\n1,2,3,4,5,6\n"), (Rows{"1@2:2|4|5"}));
}

TEST_F(CsvFile, OtherColumnsThatCannotBeKeptEndTheRowThere) {
  const std::string longer(csv_max_field_bytes + 1, 'x');
  EXPECT_EQ(rows_of(std::string("a,b,c,n,m\n1,2,3,\0x,k\n", 21) + "1,2,3," + longer + ",k\n",
                    abc_d_others),
            (Rows{"1@2:1|2|3| +" + std::string("\0x", 2) + "|k",
                  "2@3:!the \"n\" field is longer than 4096 bytes +"}));
  // Twenty columns of 4,000 bytes: the seventeenth would pass the row's limit.
  std::string header = "a,b,c", row = "1,2,3";
  for (int i = 0; i < 20; ++i) {
    header += ",n" + std::to_string(i);
    row += "," + std::string(4000, 'y');
  }
  const Rows rows = rows_of(header + "\n" + row + "\n", abc_d_others);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].substr(0, 48), "1@2:!the row holds more than 65536 bytes of text");
  EXPECT_EQ(std::count(rows[0].begin(), rows[0].end(), '|'), 15);  // sixteen kept
}

TEST_F(CsvFile, RowsHoldOnlyTheirOwnFieldsWhateverTheHeadersWidth) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "mallinfo2 does not see the sanitizer's allocator";
#else
  // 1,021 other columns. 16,000 rows of one field, each of which held a text for every
  // column (a 69 kB file took 1 GB); then 2,000 rows of every field, each of which left
  // its texts in a slot of the ring the short rows had grown (a 33 MB file took 534 MB).
  std::string header = "a,b,c", wide = "1,2,3", body(32000, '\n');
  for (std::size_t i = 3; i < csv_max_columns; ++i) {
    header += ",x" + std::to_string(i);
    wide += ",1";
  }
  for (std::size_t i = 0; i < body.size(); i += 2) body[i] = '1';
  for (int i = 0; i < 2000; ++i) body += wide + "\n";
  write(header + "\n" + body);
  const auto heap = [] { return mallinfo2().uordblks + mallinfo2().hblkhd; };
  const std::size_t before = heap();
  csv_file_ptr f(open_csv_file(path.c_str(), abc_d_others, nullptr));
  csv_row row;
  int rows = 0;
  while (read_csv_row(f.get(), &row, nullptr) == 1)
    if (++rows == 1 || rows == 18000) {
      EXPECT_LT(heap() - before, 16U << 20) << rows;
    }
  EXPECT_EQ(rows, 18000);
#endif
}

TEST(ReadCsvRow, RowsOfAPipeComeBeforeItIsClosed) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::FILE *saved = stdin;
  stdin = fdopen(ends[0], "rb");
  const std::string first = "a,b,c\n1,2,3\n";
  ASSERT_EQ(write(ends[1], first.data(), first.size()), static_cast<ssize_t>(first.size()));
  std::string error;
  csv_file_ptr f(open_csv_file("-", abc, &error));
  ASSERT_TRUE(f) << error;
  csv_row row;
  ASSERT_EQ(read_csv_row(f.get(), &row, &error), 1);
  EXPECT_EQ(row.fields[2], "3");
  EXPECT_FALSE(csv_row_ready(f.get()));  // the next read would wait for the writer
  const std::string rest = "4,5,6";
  ASSERT_EQ(write(ends[1], rest.data(), rest.size()), static_cast<ssize_t>(rest.size()));
  close(ends[1]);
  ASSERT_EQ(read_csv_row(f.get(), &row, &error), 1);
  EXPECT_EQ(row.fields[0], "4");
  EXPECT_EQ(read_csv_row(f.get(), &row, &error), 0);
  EXPECT_TRUE(csv_row_ready(f.get()));
  f.reset();
  std::fclose(stdin);
  stdin = saved;
}

// A pipe named by a path, as /dev/stdin and <(cmd) name one: read once, header included,
// so an optional column costs nothing.
TEST(OpenCsvFile, PipeNamedByAPathIsReadAsAStream) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const std::string bytes = "b,a,c,note\n2,1,3,x\n";
  ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  close(ends[1]);
  std::string error;
  csv_file_ptr f(
      open_csv_file(("/dev/fd/" + std::to_string(ends[0])).c_str(), abc_d_others, &error));
  close(ends[0]);  // the reader has its own descriptor
  ASSERT_TRUE(f) << error;
  EXPECT_FALSE(csv_has_column(f.get(), "d"));
  csv_row row;
  ASSERT_EQ(read_csv_row(f.get(), &row, &error), 1);
  EXPECT_EQ(row.fields[0] + row.fields[1] + row.fields[2] + row.others.at(0), "123x");
  EXPECT_EQ(read_csv_row(f.get(), &row, &error), 0);
}

// A byte-order mark that comes one byte per read is still a mark, not text.
TEST(OpenCsvFile, ByteOrderMarkSplitAcrossReadsOfAPipe) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  std::thread writer([&] {
    for (const std::string piece : {"\xEF", "\xBB",
                                    "\xBF"
                                    "a,b,c\n1,2,3\n"}) {
      ASSERT_EQ(write(ends[1], piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // one read each
    }
    close(ends[1]);
  });
  std::string error;
  csv_file_ptr f(open_csv_file(("/dev/fd/" + std::to_string(ends[0])).c_str(), abc, &error));
  writer.join();
  close(ends[0]);
  ASSERT_TRUE(f) << error;
  csv_row row;
  ASSERT_EQ(read_csv_row(f.get(), &row, &error), 1);
  EXPECT_EQ(row.fields[0], "1");
}

TEST(OpenCsvFile, MissingFileFolderAndDevicesAreClearErrors) {
  std::string error;
  EXPECT_EQ(open_csv_file("/nonexistent/sales.csv", abc, &error), nullptr);
  EXPECT_EQ(error, "cannot open /nonexistent/sales.csv: No such file or directory");
  EXPECT_EQ(open_csv_file("/", abc, &error), nullptr);
  EXPECT_EQ(error, "cannot read /: it is a folder, not a CSV file");
  // Endless or empty devices are refused before a byte is read, by path and as standard
  // input alike.
  for (const char *device : {"/dev/zero", "/dev/null"}) {
    EXPECT_EQ(open_csv_file(device, abc, &error), nullptr);
    EXPECT_EQ(error,
              std::string("cannot read ") + device + ": it is a device, not a CSV file or a pipe");
    std::FILE *saved = stdin;
    stdin = std::fopen(device, "rb");
    ASSERT_NE(stdin, nullptr);
    EXPECT_EQ(open_csv_file("-", abc, &error), nullptr);
    EXPECT_EQ(error, "cannot read standard input: it is a device, not a CSV file or a pipe");
    std::fclose(stdin);
    stdin = saved;
  }
}

}  // namespace
