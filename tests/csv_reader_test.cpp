// The CSV reader: header mapping, RFC 4180 quoting, line ends, blank lines and the rows
// that cannot be used, each reported without losing the rest of the file.
#include "csv/csv_reader.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> abc = {"a", "b", "c"};

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
  std::vector<std::string> rows_of(const std::string &bytes,
                                   const std::vector<std::string> &columns = abc) {
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
}

TEST_F(CsvFile, EmptyFileHasNoHeader) {
  EXPECT_EQ(rows_of("\xEF\xBB\xBF\n\n"),
            (Rows{"open: " + path + ": no header line (the file is empty)"}));
}

TEST_F(CsvFile, HeaderEndingInsideQuotesIsRefused) {
  EXPECT_EQ(rows_of("a,\"b,c\n"),
            (Rows{"open: " + path + ": the header line ends inside a quoted field"}));
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

TEST(OpenCsvFile, MissingFileAndDirectoryAreClearErrors) {
  std::string error;
  EXPECT_EQ(open_csv_file("/nonexistent/sales.csv", abc, &error), nullptr);
  EXPECT_EQ(error, "cannot open /nonexistent/sales.csv: No such file or directory");
  EXPECT_EQ(open_csv_file("/", abc, &error), nullptr);
  EXPECT_EQ(error, "cannot read /: Is a directory");
}

}  // namespace
