#include "JobTables.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Error.h"
#include "JobFile.h"

namespace qvadyn::jobtables {

std::string Where(const std::string& path, const toml::node& node) {
  return path + ":" + std::to_string(node.source().begin.line) + ":" +
         std::to_string(node.source().begin.column);
}

void AllowOnly(const std::string& path, const toml::table& table, const std::string& context,
               const std::vector<std::string>& known) {
  for (const auto& [key, node] : table) {
    const std::string name(key.str());
    if (std::find(known.begin(), known.end(), name) != known.end()) continue;
    std::string message = Where(path, node) + ": unknown key '" + name + "'" + context;
    const std::string suggestion = Suggest(name, known);
    if (!suggestion.empty()) message += " (did you mean '" + suggestion + "'?)";
    throw Error(message);
  }
}

double Number(const std::string& path, const toml::node& node, const std::string& key,
              const std::string& context) {
  if (const auto* value = node.as_floating_point()) {
    if (std::isfinite(value->get())) return value->get();
  } else if (const auto* integer = node.as_integer()) {
    return static_cast<double>(integer->get());
  }
  throw Error(Where(path, node) + ": '" + key + "'" + context + ": expected a finite number");
}

std::vector<std::vector<double>> Rows(const std::string& path, const toml::table& table,
                                      const std::string& key, const std::string& context,
                                      const std::string& folder, std::size_t width) {
  const toml::node* node = table.get(key);
  if (!node) throw Error(Where(path, table) + ": missing key '" + key + "'" + context);
  std::vector<std::vector<double>> rows;
  auto checkWidth = [&](const std::vector<double>& row, const std::string& where) {
    if ((width == 0 && row.size() < 2) || (width != 0 && row.size() != width)) {
      throw Error(where + ": '" + key + "'" + context + ": row " + std::to_string(rows.size() + 1) +
                  " has " + std::to_string(row.size()) + " numbers, expected " +
                  (width == 0 ? std::string("at least 2") : std::to_string(width)));
    }
  };
  if (const auto* file = node->as_string()) {
    const std::string csvPath = (std::filesystem::path(folder) / file->get()).string();
    std::ifstream in(csvPath);
    if (!in)
      throw Error(Where(path, *node) + ": '" + key + "'" + context + ": cannot open '" + csvPath +
                  "'");
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') continue;
      std::replace(line.begin(), line.end(), ',', ' ');
      std::istringstream fields(line);
      std::vector<double> row;
      for (double value; fields >> value;) row.push_back(value);
      if (!fields.eof()) {
        if (rows.empty() && row.empty()) continue;  // a heading
        throw Error(csvPath + ":" + std::to_string(number) + ": expected numbers");
      }
      checkWidth(row, csvPath + ":" + std::to_string(number));
      rows.push_back(row);
    }
  } else if (const auto* array = node->as_array()) {
    for (const toml::node& entry : *array) {
      const auto* values = entry.as_array();
      if (!values)
        throw Error(Where(path, entry) + ": '" + key + "'" + context +
                    ": expected rows of numbers, e.g. [[10.0, 0.01], [100.0, 0.02]]");
      std::vector<double> row;
      for (const toml::node& value : *values) row.push_back(Number(path, value, key, context));
      checkWidth(row, Where(path, entry));
      rows.push_back(row);
    }
  } else {
    throw Error(Where(path, *node) + ": '" + key + "'" + context +
                ": expected rows of numbers or a CSV file name");
  }
  if (rows.empty()) throw Error(Where(path, *node) + ": '" + key + "'" + context + ": no rows");
  return rows;
}

}  // namespace qvadyn::jobtables
