// Reading the job-file tables of the random and response-spectrum analyses:
// small helpers over toml++ whose errors name the file, line:column, the key
// and the table, like the rest of the job file, and the two readers.
//
//   job.toml:31:7: 'psd' in [[analysis.shake.excitation]]: row 2: expected [frequency, value]
#pragma once

#include <toml++/toml.h>

#include <memory>
#include <string>
#include <vector>

namespace qvadyn {

struct RandomSettings;
struct SpectrumSettings;

namespace jobtables {

// "file:line:column" of `node`.
std::string Where(const std::string& path, const toml::node& node);
// Raises for a key of `table` not in `known`, suggesting the nearest.
void AllowOnly(const std::string& path, const toml::table& table, const std::string& context,
               const std::vector<std::string>& known);
// The number at `node`; raises naming `key` and `context` otherwise.
double Number(const std::string& path, const toml::node& node, const std::string& key,
              const std::string& context);
// Rows of numbers of `key`: an array of arrays, or the name of a CSV file
// (relative to `folder`) of comma- or space-separated rows; every row has
// `width` numbers (0: any, at least 2).
std::vector<std::vector<double>> Rows(const std::string& path, const toml::table& table,
                                      const std::string& key, const std::string& context,
                                      const std::string& folder, std::size_t width);

}  // namespace jobtables

// The settings of [analysis.NAME] with type "random" and "response_spectrum";
// `context` is " in [analysis.NAME]". Raise qvadyn::Error with the position.
std::shared_ptr<const RandomSettings> ReadRandomSettings(const std::string& path,
                                                         const toml::table& table,
                                                         const std::string& context);
std::shared_ptr<const SpectrumSettings> ReadSpectrumSettings(const std::string& path,
                                                             const toml::table& table,
                                                             const std::string& context);

}  // namespace qvadyn
