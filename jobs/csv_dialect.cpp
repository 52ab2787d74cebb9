// Which separator a CSV file uses, and its decimal comma.
#include "jobs/csv_dialect.h"

#include <algorithm>
#include <string>
#include <vector>

#include "jobs/memory_file.h"
#include "text/text.h"

const std::string kCsvSeparators = ",;\t";

std::vector<std::string> CsvFieldsSplitAt(const CsvRecord& record, char separator) {
  std::vector<std::string> fields;
  std::string field;
  for (size_t i = 0; i < record.fields.size(); i++) {
    field += record.fields[i];
    char end = i < record.ends.size() ? record.ends[i] : '\n';
    if (end == separator || end == '\n') {
      fields.push_back(field);
      field.clear();
    } else {
      field += end;
    }
  }
  return fields;
}

char CsvSeparatorOf(const CsvRecord& header) {
  for (char separator : kCsvSeparators) {
    for (const std::string& field : CsvFieldsSplitAt(header, separator)) {
      if (UpperCase(Trimmed(field)) == "LOCATION") return separator;
    }
  }
  char most = kCsvSeparators[0];
  for (char separator : kCsvSeparators) {
    if (std::count(header.ends.begin(), header.ends.end(), separator) >
        std::count(header.ends.begin(), header.ends.end(), most)) {
      most = separator;
    }
  }
  return most;
}

std::string CsvSeparatorName(char separator) {
  return separator == ';' ? "semicolon" : separator == '\t' ? "tab" : "comma";
}

std::string CsvDecimalPoint(const std::string& number, char separator) {
  if (separator == ',' || number.find('.') != std::string::npos) return number;
  size_t comma = number.find(',');
  if (comma == std::string::npos || number.find(',', comma + 1) != std::string::npos) return number;
  std::string with_point = number;
  with_point[comma] = '.';
  return with_point;
}
