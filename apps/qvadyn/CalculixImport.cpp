#include "CalculixImport.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>
#include <sstream>

#include "Error.h"

namespace qvadyn {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string> SplitCommas(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, ',')) fields.push_back(Trim(field));
  while (!fields.empty() && fields.back().empty()) fields.pop_back();
  return fields;
}

// One line of a deck, with where it came from for messages.
struct DeckLine {
  std::string text;
  std::string where;  // "file:line"
};

void ReadDeckLines(const std::filesystem::path& path, std::vector<DeckLine>& lines, int depth) {
  std::ifstream stream(path);
  if (!stream) throw Error(path.string() + ": cannot open the CalculiX input deck");
  if (depth > 10) throw Error(path.string() + ": *INCLUDE nested more than 10 deep");
  std::string text;
  for (int number = 1; std::getline(stream, text); ++number) {
    const std::string where = path.string() + ":" + std::to_string(number);
    const std::string trimmed = Trim(text);
    if (trimmed.empty() || trimmed.starts_with("**")) continue;
    if (Upper(trimmed).starts_with("*INCLUDE")) {
      const auto equals = trimmed.find('=');
      if (equals == std::string::npos) throw Error(where + ": *INCLUDE without INPUT=");
      std::filesystem::path included = Trim(trimmed.substr(equals + 1));
      if (included.is_relative()) included = path.parent_path() / included;
      ReadDeckLines(included, lines, depth + 1);
      continue;
    }
    lines.push_back({trimmed, where});
  }
}

std::int64_t ParseInteger(const std::string& field, const std::string& where) {
  std::size_t used = 0;
  std::int64_t value = 0;
  try {
    value = std::stoll(field, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != field.size()) throw Error(where + ": '" + field + "' is not an integer");
  return value;
}

double ParseReal(const std::string& field, const std::string& where) {
  std::size_t used = 0;
  double value = 0.0;
  try {
    value = std::stod(field, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != field.size()) throw Error(where + ": '" + field + "' is not a number");
  return value;
}

// A keyword line: the upper-case keyword and its parameters (upper-case names).
struct Keyword {
  std::string name;
  std::map<std::string, std::string> parameters;
};

Keyword ParseKeyword(const std::string& text) {
  const auto fields = SplitCommas(text);
  Keyword keyword{Upper(fields.front()), {}};
  for (std::size_t i = 1; i < fields.size(); ++i) {
    const auto equals = fields[i].find('=');
    const std::string name = Upper(Trim(fields[i].substr(0, equals)));
    keyword.parameters[name] =
        equals == std::string::npos ? std::string() : Upper(Trim(fields[i].substr(equals + 1)));
  }
  return keyword;
}

struct SolidType {
  const char* prefix;
  int xdmfCode;
  int numNodes;
};

// Solid element types whose nodes are the deck's nodes and carry DOFs 1..3.
constexpr SolidType kSolidTypes[] = {{"C3D4", 6, 4},     {"C3D6", 8, 6},    {"C3D8R", 9, 8},
                                     {"C3D8", 9, 8},     {"C3D10", 38, 10}, {"C3D15", 40, 15},
                                     {"C3D20R", 48, 20}, {"C3D20", 48, 20}};

const SolidType& LookUpSolidType(const std::string& type, const std::string& where) {
  for (const SolidType& solid : kSolidTypes) {
    if (type == solid.prefix) return solid;
  }
  // C3D10T, C3D10M and similar share the node layout of their base type.
  if (type == "C3D10T" || type == "C3D10M") return kSolidTypes[4];
  std::string reason = "is not a solid element type this reader numbers";
  if (type.starts_with("S") || type.starts_with("M3D")) {
    reason = "is a shell or membrane element, which CalculiX expands into solids with new nodes";
  } else if (type.starts_with("B") || type.starts_with("T3D")) {
    reason = "is a beam or truss element, which CalculiX expands into solids with new nodes";
  } else if (type.starts_with("CPS") || type.starts_with("CPE") || type.starts_with("CAX")) {
    reason = "is a plane or axisymmetric element, which CalculiX expands into solids";
  } else if (type == "C3D8I") {
    reason = "adds incompatible-mode nodes inside CalculiX";
  }
  throw Error(where + ": *ELEMENT, TYPE=" + type + ": " + reason +
              "; the .eig equations cannot be numbered from the deck (import the .frd instead)");
}

// Directions fixed by a *BOUNDARY line's second field when it is a word.
std::vector<int> NamedBoundaryDirections(const std::string& name, const std::string& where) {
  if (name == "ENCASTRE" || name == "PINNED") return {1, 2, 3};
  if (name == "XSYMM") return {1};
  if (name == "YSYMM") return {2};
  if (name == "ZSYMM") return {3};
  if (name == "XASYMM") return {2, 3};
  if (name == "YASYMM") return {1, 3};
  if (name == "ZASYMM") return {1, 2};
  throw Error(where + ": *BOUNDARY type '" + name + "' is not understood");
}

// Set members: integers, ranges (GENERATE) or names of sets of the same kind.
void AddSetMembers(std::map<std::string, std::vector<std::int64_t>>& sets, const std::string& name,
                   const Keyword& keyword, const std::vector<std::string>& fields,
                   const std::string& where) {
  auto& members = sets[name];
  if (keyword.parameters.contains("GENERATE")) {
    if (fields.size() < 2) throw Error(where + ": GENERATE needs first, last[, increment]");
    const std::int64_t first = ParseInteger(fields[0], where);
    const std::int64_t last = ParseInteger(fields[1], where);
    const std::int64_t step = fields.size() > 2 ? ParseInteger(fields[2], where) : 1;
    if (step <= 0) throw Error(where + ": GENERATE increment " + fields[2] + " is not positive");
    for (std::int64_t id = first; id <= last; id += step) members.push_back(id);
    return;
  }
  for (const std::string& field : fields) {
    if (!field.empty() && (std::isdigit(static_cast<unsigned char>(field[0])) || field[0] == '-')) {
      members.push_back(ParseInteger(field, where));
      continue;
    }
    const auto other = sets.find(Upper(field));
    if (other == sets.end()) throw Error(where + ": set '" + field + "' is not defined");
    members.insert(members.end(), other->second.begin(), other->second.end());
  }
}

std::string RequiredParameter(const Keyword& keyword, const std::string& parameter,
                              const std::string& where) {
  const auto found = keyword.parameters.find(parameter);
  if (found == keyword.parameters.end() || found->second.empty()) {
    throw Error(where + ": " + keyword.name + " needs " + parameter + "=");
  }
  return found->second;
}

}  // namespace

CalculixDeck ReadCalculixDeck(const std::filesystem::path& deckPath) {
  std::vector<DeckLine> lines;
  ReadDeckLines(deckPath, lines, 0);

  CalculixDeck deck;
  std::map<std::string, std::vector<std::int64_t>> nodeSets;
  std::map<std::string, std::vector<std::int64_t>> elementSets;
  Keyword keyword;
  std::string keywordWhere;
  const SolidType* elementType = nullptr;
  std::string setName;
  std::int64_t elementId = 0;
  std::vector<std::int64_t> pendingNodes;  // nodes of an element continued on the next line

  static const char* const kRefused[] = {"*MPC",        "*EQUATION", "*CYCLIC SYMMETRY MODEL",
                                         "*RIGID BODY", "*TIE",      "*COUPLING",
                                         "*TRANSFORM"};
  for (const DeckLine& line : lines) {
    if (line.text.front() == '*') {
      if (!pendingNodes.empty())
        throw Error(keywordWhere + ": element " + std::to_string(elementId) + " has too few nodes");
      keyword = ParseKeyword(line.text);
      keywordWhere = line.where;
      for (const char* refused : kRefused) {
        if (keyword.name == refused) {
          throw Error(line.where + ": " + keyword.name +
                      " changes CalculiX's equation numbering, which the deck alone does not "
                      "give; import the .frd file instead");
        }
      }
      if (keyword.name == "*ELEMENT") {
        elementType = &LookUpSolidType(RequiredParameter(keyword, "TYPE", line.where), line.where);
      }
      if (keyword.name == "*NSET") setName = RequiredParameter(keyword, "NSET", line.where);
      if (keyword.name == "*ELSET") setName = RequiredParameter(keyword, "ELSET", line.where);
      continue;
    }
    const auto fields = SplitCommas(line.text);
    if (fields.empty()) continue;
    if (keyword.name == "*NODE") {
      if (fields.size() < 2) throw Error(line.where + ": *NODE line needs an id and coordinates");
      const std::int64_t id = ParseInteger(fields[0], line.where);
      std::array<double, 3> coordinates{0.0, 0.0, 0.0};
      for (std::size_t k = 1; k < fields.size() && k <= 3; ++k) {
        coordinates[k - 1] = ParseReal(fields[k], line.where);
      }
      deck.nodes[id] = coordinates;
      if (keyword.parameters.contains("NSET")) nodeSets[keyword.parameters["NSET"]].push_back(id);
    } else if (keyword.name == "*ELEMENT") {
      std::size_t first = 0;
      if (pendingNodes.empty()) {
        elementId = ParseInteger(fields[0], line.where);
        first = 1;
      }
      for (std::size_t k = first; k < fields.size(); ++k) {
        pendingNodes.push_back(ParseInteger(fields[k], line.where));
      }
      if (static_cast<int>(pendingNodes.size()) > elementType->numNodes) {
        throw Error(line.where + ": element " + std::to_string(elementId) + " of type " +
                    elementType->prefix + " has more than " +
                    std::to_string(elementType->numNodes) + " nodes");
      }
      if (static_cast<int>(pendingNodes.size()) < elementType->numNodes) continue;
      deck.elementTypes.push_back(elementType->xdmfCode);
      deck.elementNodes.insert(deck.elementNodes.end(), pendingNodes.begin(), pendingNodes.end());
      deck.elementOffsets.push_back(static_cast<std::int64_t>(deck.elementNodes.size()));
      pendingNodes.clear();
      if (keyword.parameters.contains("ELSET")) {
        elementSets[keyword.parameters["ELSET"]].push_back(elementId);
      }
    } else if (keyword.name == "*NSET") {
      AddSetMembers(nodeSets, setName, keyword, fields, line.where);
    } else if (keyword.name == "*ELSET") {
      AddSetMembers(elementSets, setName, keyword, fields, line.where);
    } else if (keyword.name == "*BOUNDARY") {
      std::vector<std::int64_t> targets;
      if (std::isdigit(static_cast<unsigned char>(fields[0][0]))) {
        targets.push_back(ParseInteger(fields[0], line.where));
      } else {
        const auto set = nodeSets.find(Upper(fields[0]));
        if (set == nodeSets.end()) {
          throw Error(line.where + ": *BOUNDARY names node set '" + fields[0] +
                      "', which is not defined");
        }
        targets = set->second;
      }
      if (fields.size() < 2) throw Error(line.where + ": *BOUNDARY line needs a direction");
      std::vector<int> directions;
      if (std::isalpha(static_cast<unsigned char>(fields[1][0]))) {
        directions = NamedBoundaryDirections(Upper(fields[1]), line.where);
      } else {
        const std::int64_t first = ParseInteger(fields[1], line.where);
        const std::int64_t last = fields.size() > 2 ? ParseInteger(fields[2], line.where) : first;
        for (std::int64_t direction = first; direction <= std::min<std::int64_t>(last, 3);
             ++direction) {
          if (direction >= 1) directions.push_back(static_cast<int>(direction));
        }
      }
      for (const std::int64_t node : targets) {
        for (const int direction : directions) deck.fixedDofs.insert({node, direction});
      }
    }
  }
  if (!pendingNodes.empty()) {
    throw Error(keywordWhere + ": element " + std::to_string(elementId) + " has too few nodes");
  }
  for (const std::int64_t node : deck.elementNodes) {
    if (!deck.nodes.contains(node)) {
      throw Error(deckPath.string() + ": an element uses node " + std::to_string(node) +
                  ", which no *NODE defines");
    }
  }
  if (deck.elementTypes.empty()) throw Error(deckPath.string() + ": no solid elements");
  return deck;
}

namespace {

// The whole of a binary file, with a cursor for typed reads.
class ByteReader {
 public:
  explicit ByteReader(const std::filesystem::path& path) : path_(path.string()) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) throw Error(path_ + ": cannot open");
    bytes_.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  }
  std::size_t Size() const { return bytes_.size(); }
  std::size_t Offset() const { return offset_; }
  void Seek(std::size_t offset) { offset_ = offset; }
  bool AtEnd() const { return offset_ >= bytes_.size(); }
  const std::string& Path() const { return path_; }

  template <typename T>
  void Read(T* values, std::size_t count, const char* what) {
    if (bytes_.size() - offset_ < count * sizeof(T)) {
      throw Error(path_ + ": ends at byte " + std::to_string(bytes_.size()) + " inside " + what);
    }
    std::memcpy(values, bytes_.data() + offset_, count * sizeof(T));
    offset_ += count * sizeof(T);
  }
  template <typename T>
  T Read(const char* what) {
    T value{};
    Read(&value, 1, what);
    return value;
  }
  // The text up to the next newline (not included); the cursor moves past it.
  std::string Line() {
    const auto* begin = bytes_.data() + offset_;
    const auto* end = static_cast<const char*>(std::memchr(begin, '\n', bytes_.size() - offset_));
    const std::size_t length =
        end ? static_cast<std::size_t>(end - begin) : bytes_.size() - offset_;
    offset_ += length + (end ? 1 : 0);
    ++lineNumber_;
    return std::string(begin, length);
  }
  int LineNumber() const { return lineNumber_; }

 private:
  std::string path_;
  std::vector<char> bytes_;
  std::size_t offset_ = 0;
  int lineNumber_ = 0;
};

}  // namespace

Basis ImportCalculixEig(const std::filesystem::path& eig, const std::filesystem::path& deckPath) {
  const CalculixDeck deck = ReadCalculixDeck(deckPath);

  // Equations: DOFs 1..3 of the nodes of elements, not fixed, by ascending node.
  std::set<std::int64_t> elementNodeIds(deck.elementNodes.begin(), deck.elementNodes.end());
  std::map<std::int64_t, std::array<int, 3>> equationOf;
  Basis basis;
  for (const std::int64_t node : elementNodeIds) {
    std::array<int, 3> equations{-1, -1, -1};
    for (int direction = 1; direction <= 3; ++direction) {
      if (deck.fixedDofs.contains({node, direction})) continue;
      equations[direction - 1] = static_cast<int>(basis.dofNodes.size());
      basis.dofNodes.push_back(node);
      basis.dofComponents.push_back(direction);
    }
    equationOf[node] = equations;
  }
  const std::int64_t numEquations = basis.NumDofs();
  if (numEquations == 0) throw Error(deckPath.string() + ": every DOF is fixed");

  // Strict lower pattern of M, column by column with ascending rows.
  std::vector<std::vector<std::int64_t>> rowsOfColumn(static_cast<std::size_t>(numEquations));
  std::vector<int> elementEquations;
  for (std::size_t e = 0; e + 1 < deck.elementOffsets.size(); ++e) {
    elementEquations.clear();
    for (auto k = deck.elementOffsets[e]; k < deck.elementOffsets[e + 1]; ++k) {
      for (const int equation : equationOf.at(deck.elementNodes[static_cast<std::size_t>(k)])) {
        if (equation >= 0) elementEquations.push_back(equation);
      }
    }
    for (const int column : elementEquations) {
      for (const int row : elementEquations) {
        if (row > column) rowsOfColumn[static_cast<std::size_t>(column)].push_back(row);
      }
    }
  }
  std::int64_t numLower = 0;
  for (auto& rows : rowsOfColumn) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    numLower += static_cast<std::int64_t>(rows.size());
  }

  ByteReader file(eig);
  const std::string name = eig.string();
  if (file.Read<std::int32_t>("the header") != 0) {
    throw Error(name + ": cyclic symmetry flag is set; cyclic-symmetry bases are not supported");
  }
  if (file.Read<std::int32_t>("the header") != 1) {
    throw Error(name + ": the eigenproblem is not real symmetric (Hermitian flag is not 1)");
  }
  if (file.Read<std::int32_t>("the header") == 1) {
    const std::int64_t highestNode = deck.nodes.rbegin()->first;
    file.Seek(file.Offset() + 4 * sizeof(double) * static_cast<std::size_t>(highestNode));
  }
  const std::int32_t numModes = file.Read<std::int32_t>("the header");
  if (numModes <= 0) throw Error(name + ": number of modes " + std::to_string(numModes));
  basis.eigenvalues.resize(static_cast<std::size_t>(numModes));
  file.Read(basis.eigenvalues.data(), basis.eigenvalues.size(), "the eigenvalues");

  // What follows: K diagonal, K lower (nzsK), M diagonal, M lower (nzsM), modes.
  const std::size_t modeValues = static_cast<std::size_t>(numModes * numEquations);
  const std::size_t fixedValues =
      2 * static_cast<std::size_t>(numEquations) + static_cast<std::size_t>(numLower) + modeValues;
  const std::size_t remaining = file.Size() - std::min(file.Size(), file.Offset());
  if (remaining % sizeof(double) != 0 || remaining / sizeof(double) < fixedValues + numLower) {
    throw Error(name + ": size " + std::to_string(file.Size()) + " bytes does not fit " +
                std::to_string(numModes) + " modes of the " + std::to_string(numEquations) +
                " equations and " + std::to_string(numLower) + " mass entries numbered from " +
                deckPath.string() + "; is the deck the one this file was computed from?");
  }
  const std::size_t massStart =
      file.Size() - sizeof(double) * (modeValues + static_cast<std::size_t>(numLower) +
                                      static_cast<std::size_t>(numEquations));
  file.Seek(massStart);
  std::vector<double> massDiagonal(static_cast<std::size_t>(numEquations));
  std::vector<double> massLower(static_cast<std::size_t>(numLower));
  file.Read(massDiagonal.data(), massDiagonal.size(), "the mass diagonal");
  file.Read(massLower.data(), massLower.size(), "the mass matrix");
  basis.modes.resize(modeValues);
  file.Read(basis.modes.data(), modeValues, "the mode shapes");

  // Both triangles in compressed rows: row i holds the lower entries of row i
  // (found in earlier columns), its diagonal, then column i's lower entries.
  SparseMatrix& mass = basis.mass;
  mass.rowStart.assign(static_cast<std::size_t>(numEquations) + 1, 0);
  for (std::int64_t column = 0; column < numEquations; ++column) {
    const auto& rows = rowsOfColumn[static_cast<std::size_t>(column)];
    mass.rowStart[static_cast<std::size_t>(column) + 1] +=
        1 + static_cast<std::int64_t>(rows.size());
    for (const std::int64_t row : rows) ++mass.rowStart[static_cast<std::size_t>(row) + 1];
  }
  for (std::size_t i = 1; i < mass.rowStart.size(); ++i) mass.rowStart[i] += mass.rowStart[i - 1];
  mass.columns.resize(static_cast<std::size_t>(mass.rowStart.back()));
  mass.values.resize(mass.columns.size());
  std::vector<std::int64_t> next(mass.rowStart.begin(), mass.rowStart.end() - 1);
  auto put = [&](std::int64_t row, std::int64_t column, double value) {
    const auto slot = static_cast<std::size_t>(next[static_cast<std::size_t>(row)]++);
    mass.columns[slot] = column;
    mass.values[slot] = value;
  };
  std::size_t entry = 0;
  std::vector<std::size_t> columnStart(static_cast<std::size_t>(numEquations));
  for (std::int64_t column = 0; column < numEquations; ++column) {
    columnStart[static_cast<std::size_t>(column)] = entry;
    for (const std::int64_t row : rowsOfColumn[static_cast<std::size_t>(column)]) {
      put(row, column, massLower[entry++]);  // lower entries of `row`, columns ascending
    }
  }
  // Rows are filled in column order above, so the lower parts are sorted; the
  // diagonal and upper parts follow in ascending columns.
  for (std::int64_t row = 0; row < numEquations; ++row) {
    put(row, row, massDiagonal[static_cast<std::size_t>(row)]);
    std::size_t k = columnStart[static_cast<std::size_t>(row)];
    for (const std::int64_t column : rowsOfColumn[static_cast<std::size_t>(row)]) {
      put(row, column, massLower[k++]);
    }
  }

  // The modes must be mass-normalized on the rebuilt matrix: a pattern that
  // differs from CalculiX's puts values in the wrong places and shows here.
  for (int mode = 0; mode < numModes; ++mode) {
    const double* phi = basis.modes.data() + static_cast<std::size_t>(mode * numEquations);
    double generalizedMass = 0.0;
    for (std::int64_t row = 0; row < numEquations; ++row) {
      for (auto k = mass.rowStart[static_cast<std::size_t>(row)];
           k < mass.rowStart[static_cast<std::size_t>(row) + 1]; ++k) {
        generalizedMass += phi[row] * mass.values[static_cast<std::size_t>(k)] *
                           phi[mass.columns[static_cast<std::size_t>(k)]];
      }
    }
    // CalculiX normalizes to round-off; 1e-8 leaves room for ill-conditioned modes.
    if (!(std::abs(generalizedMass - 1.0) <= 1e-8)) {
      throw Error(name + ": mode " + std::to_string(mode + 1) + " has generalized mass " +
                  std::to_string(generalizedMass) + " on the mass matrix numbered from " +
                  deckPath.string() + "; the deck does not match the file's numbering");
    }
  }

  for (const std::int64_t node : elementNodeIds) {
    const auto& xyz = deck.nodes.at(node);
    basis.nodeIds.push_back(node);
    basis.nodeCoordinates.insert(basis.nodeCoordinates.end(), xyz.begin(), xyz.end());
  }
  basis.elementTypes = deck.elementTypes;
  basis.elementOffsets = deck.elementOffsets;
  basis.elementNodes = deck.elementNodes;
  basis.source = "calculix-eig";
  return basis;
}

namespace {

struct FrdElementType {
  int xdmfCode;
  int numNodes;
};

// frd element types 1..12: he8 pe6 te4 he20 pe15 te10 tr3 tr6 qu4 qu8 be2 be3.
constexpr FrdElementType kFrdTypes[] = {{9, 8}, {8, 6},  {6, 4}, {48, 20}, {40, 15}, {38, 10},
                                        {4, 3}, {36, 6}, {5, 4}, {37, 8},  {2, 2},   {34, 3}};

// The .frd stores the last two groups of four midside nodes of he20 (and of
// three for pe15) swapped relative to the deck's order, which XDMF shares.
void ToDeckOrder(int frdType, std::int64_t* nodes) {
  if (frdType == 4) std::swap_ranges(nodes + 12, nodes + 16, nodes + 16);
  if (frdType == 5) std::swap_ranges(nodes + 9, nodes + 12, nodes + 12);
}

std::vector<std::string> Tokens(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> tokens;
  for (std::string token; stream >> token;) tokens.push_back(token);
  return tokens;
}

// Fixed-width fields of an ASCII data line: " -1", an id of `idWidth`
// characters, then values of 12 characters.
std::int64_t FieldInteger(const std::string& line, std::size_t start, std::size_t width,
                          const std::string& where) {
  if (line.size() < start + width) throw Error(where + ": line is too short");
  return ParseInteger(Trim(line.substr(start, width)), where);
}

double FieldReal(const std::string& line, std::size_t start, const std::string& where) {
  if (line.size() < start + 12) throw Error(where + ": line is too short");
  return ParseReal(Trim(line.substr(start, 12)), where);
}

}  // namespace

Basis ImportCalculixFrd(const std::filesystem::path& frd) {
  ByteReader file(frd);
  Basis basis;
  bool binary = false;
  bool haveNodes = false;
  bool haveElements = false;
  std::vector<std::int64_t> resultNodes;  // node order of the first DISP block
  const std::string name = frd.string();
  auto where = [&] { return name + ":" + std::to_string(file.LineNumber()); };
  auto byteWhere = [&] { return name + ": byte " + std::to_string(file.Offset()); };

  while (!file.AtEnd()) {
    const std::string line = file.Line();
    const auto tokens = Tokens(line);
    if (tokens.empty()) continue;
    const std::string& key = tokens.front();
    if (key == "9999") break;
    if ((key == "2C" || key == "3C") && tokens.size() >= 2) {
      const int format = static_cast<int>(ParseInteger(tokens.back(), where()));
      const auto count = ParseInteger(tokens[tokens.size() - 2], where());
      const std::size_t idWidth = format == 0 ? 5 : 10;
      const bool skip = key == "2C" ? haveNodes : haveElements;
      if (format >= 2) binary = true;
      if (key == "2C") {
        haveNodes = true;
        for (std::int64_t n = 0; n < count; ++n) {
          std::int64_t id = 0;
          std::array<double, 3> xyz{};
          if (format == 3) {
            id = file.Read<std::int32_t>("a node record");
            file.Read(xyz.data(), 3, "a node record");
          } else if (format == 2) {
            id = file.Read<std::int32_t>("a node record");
            std::array<float, 3> single{};
            file.Read(single.data(), 3, "a node record");
            std::copy(single.begin(), single.end(), xyz.begin());
          } else {
            const std::string data = file.Line();
            if (!data.starts_with(" -1")) throw Error(where() + ": expected a node record (-1)");
            id = FieldInteger(data, 3, idWidth, where());
            for (std::size_t k = 0; k < 3; ++k)
              xyz[k] = FieldReal(data, 3 + idWidth + 12 * k, where());
          }
          if (skip) continue;
          basis.nodeIds.push_back(id);
          basis.nodeCoordinates.insert(basis.nodeCoordinates.end(), xyz.begin(), xyz.end());
        }
      } else {
        haveElements = true;
        std::vector<std::int64_t> nodes;
        for (std::int64_t e = 0; e < count; ++e) {
          int type = 0;
          if (format >= 2) {
            std::array<std::int32_t, 4> header{};
            file.Read(header.data(), 4, "an element record");
            type = header[1];
          } else {
            const std::string data = file.Line();
            if (!data.starts_with(" -1")) throw Error(where() + ": expected an element record");
            type = static_cast<int>(FieldInteger(data, 3 + idWidth, 5, where()));
          }
          if (type < 1 || type > 12) {
            throw Error((format >= 2 ? byteWhere() : where()) + ": element type " +
                        std::to_string(type) + " is not an frd element type (1..12)");
          }
          const FrdElementType& frdType = kFrdTypes[type - 1];
          nodes.assign(static_cast<std::size_t>(frdType.numNodes), 0);
          if (format >= 2) {
            std::vector<std::int32_t> ids(nodes.size());
            file.Read(ids.data(), ids.size(), "an element record");
            std::copy(ids.begin(), ids.end(), nodes.begin());
          } else {
            for (std::size_t k = 0; k < nodes.size();) {
              const std::string data = file.Line();
              if (!data.starts_with(" -2")) throw Error(where() + ": expected element nodes (-2)");
              for (std::size_t start = 3; start + idWidth <= data.size() && k < nodes.size();
                   start += idWidth) {
                nodes[k++] = FieldInteger(data, start, idWidth, where());
              }
            }
          }
          if (skip) continue;
          ToDeckOrder(type, nodes.data());
          basis.elementTypes.push_back(frdType.xdmfCode);
          basis.elementNodes.insert(basis.elementNodes.end(), nodes.begin(), nodes.end());
          if (basis.elementOffsets.empty()) basis.elementOffsets.push_back(0);
          basis.elementOffsets.push_back(static_cast<std::int64_t>(basis.elementNodes.size()));
        }
      }
      if (format < 2 && !Trim(file.Line()).starts_with("-3")) {
        throw Error(where() + ": expected the end of the block (-3)");
      }
      continue;
    }
    if (key != "100CL") continue;
    // Result block: 100CL setname value numnod text ictype numstp analysis format.
    if (tokens.size() < 5) throw Error(where() + ": result header has too few fields");
    const std::string header = line;
    const double value = ParseReal(tokens[2], where());
    const auto count = ParseInteger(tokens[3], where());
    const int format = static_cast<int>(ParseInteger(tokens.back(), where()));
    const std::size_t idWidth = format == 0 ? 5 : 10;
    const auto dataset = Tokens(file.Line());  // -4 name ncomps irtype
    if (dataset.size() < 3 || dataset[0] != "-4") throw Error(where() + ": expected -4 record");
    const auto numComponents = ParseInteger(dataset[2], where());
    int numStored = 0;
    for (std::int64_t c = 0; c < numComponents; ++c) {
      const auto component = Tokens(file.Line());  // -5 name menu ictype icind1 icind2 iexist
      if (component.empty() || component[0] != "-5") throw Error(where() + ": expected -5 record");
      if (component.size() < 7 || component[6] == "0") ++numStored;
    }
    const bool modeShape = dataset[1] == "DISP" && header.find("MODAL") != std::string::npos;
    if (modeShape && numStored != 3) {
      throw Error(where() + ": DISP block with " + std::to_string(numStored) + " components");
    }
    std::vector<std::int64_t> nodes;
    std::vector<double> values;
    for (std::int64_t n = 0; n < count; ++n) {
      std::int64_t id = 0;
      std::vector<double> stored(static_cast<std::size_t>(numStored));
      if (format >= 2) {
        id = file.Read<std::int32_t>("a result record");
        std::vector<float> single(stored.size());
        file.Read(single.data(), single.size(), "a result record");
        std::copy(single.begin(), single.end(), stored.begin());
      } else {
        std::string data = file.Line();
        if (!data.starts_with(" -1")) throw Error(where() + ": expected a result record (-1)");
        id = FieldInteger(data, 3, idWidth, where());
        std::size_t k = 0;
        std::size_t start = 3 + idWidth;
        while (k < stored.size()) {
          if (start + 12 > data.size()) {  // values continue on a -2 line
            data = file.Line();
            if (!data.starts_with(" -2")) throw Error(where() + ": expected a -2 continuation");
            start = 3 + idWidth;
          }
          stored[k++] = FieldReal(data, start, where());
          start += 12;
        }
      }
      if (!modeShape) continue;
      nodes.push_back(id);
      values.insert(values.end(), stored.begin(), stored.end());
    }
    if (format < 2 && !Trim(file.Line()).starts_with("-3")) {
      throw Error(where() + ": expected the end of the result block (-3)");
    }
    if (!modeShape) continue;
    if (resultNodes.empty()) {
      resultNodes = nodes;
      for (const std::int64_t node : nodes) {
        for (int direction = 1; direction <= 3; ++direction) {
          basis.dofNodes.push_back(node);
          basis.dofComponents.push_back(direction);
        }
      }
    } else if (nodes != resultNodes) {
      throw Error(where() + ": mode " + std::to_string(basis.NumModes() + 1) +
                  " lists other nodes than mode 1");
    }
    const double omega = 2.0 * std::numbers::pi * value;
    basis.eigenvalues.push_back(omega * omega);
    basis.modes.insert(basis.modes.end(), values.begin(), values.end());
  }
  if (basis.eigenvalues.empty()) {
    throw Error(name +
                ": no mode shapes (a DISP block of a *FREQUENCY step; ask for *NODE FILE "
                "with U)");
  }
  basis.source = binary ? "calculix-frd (binary: single-precision values, about seven "
                          "significant digits)"
                        : "calculix-frd (ASCII: values carry six significant digits)";
  return basis;
}

Basis ImportCalculix(const std::filesystem::path& file, const std::filesystem::path& deck) {
  const std::string extension = Upper(file.extension().string());
  if (extension == ".FRD") return ImportCalculixFrd(file);
  if (extension != ".EIG") {
    throw Error(file.string() + ": a CalculiX basis is a .eig or a .frd file");
  }
  return ImportCalculixEig(
      file, deck.empty() ? std::filesystem::path(file).replace_extension(".inp") : deck);
}

}  // namespace qvadyn
