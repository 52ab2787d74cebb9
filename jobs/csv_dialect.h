// The dialects in which spreadsheets write CSV files: the separator a file
// uses, found from its header row, and the decimal comma of the countries
// whose spreadsheets separate fields with semicolons or tabs.
//
// kCsvSeparators       the separators a header row is read with: comma,
//                      semicolon, tab
// CsvSeparatorOf       the separator of a header row read with all of them: the
//                      first that makes a field of it "Location" (any case), or
//                      else the one the row holds most of
// CsvFieldsSplitAt     the fields of a record read with all the separators as
//                      they are when only `separator` separates
// CsvSeparatorName     "comma", "semicolon" or "tab"
// CsvDecimalPoint      a number as written with a decimal comma ("3,55"), with
//                      the point instead; other text as it is. Only where the
//                      separator is not the comma
#pragma once
#include <string>
#include <vector>

#include "jobs/csv_file.h"

extern const std::string kCsvSeparators;

char CsvSeparatorOf(const CsvRecord& header);
std::vector<std::string> CsvFieldsSplitAt(const CsvRecord& record, char separator);
std::string CsvSeparatorName(char separator);
std::string CsvDecimalPoint(const std::string& number, char separator);
