#pragma once
// The offline analysis behind varnex-stability: reads Varnex data files or
// plain files of phase values and prints every stability measure as CSV, with
// the EFC drift fit when the input holds EFC values.
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

struct AnalysisInput {
  std::vector<double> phase;  // seconds, in file order
  std::vector<double> mjd;    // time stamps of data-file lines (Modified Julian Date)
  std::vector<double> efc;    // EFC of data-file lines
};

// Whitespace-separated numbers of one line, read with "." as decimal point
// whatever the locale; a leading "+" is allowed. False if a field is not a
// finite number.
bool ParseNumberFields(std::string_view line, std::vector<double>& fields);

// Appends the values of one file (or of standard input for "-"). A file is
// either a data file, five numbers a line with PPS TI in field 2, or one phase
// value a line; blank lines and lines starting with "#" are passed over.
// Returns an empty string, or a message naming the file and line at fault.
std::string ReadAnalysisInput(std::istream& in, const std::string& name, AnalysisInput& input);
std::string ReadAnalysisFile(const std::string& path, AnalysisInput& input);
// Every file of paths, appended in that order (read side by side); the first
// problem in that order, or an empty string.
std::string ReadAnalysisFiles(const std::vector<std::string>& paths, AnalysisInput& input);

// Writes the phase values of input to path, one a line ("MJD<TAB>phase" with
// withMjd), through a temporary file renamed into place: on failure nothing
// is left under path. Returns an empty string, or what went wrong.
std::string WritePhaseFile(const std::string& path, const AnalysisInput& input, bool withMjd);

// The whole program: arguments without the program name; returns the exit
// status (0 done, 1 bad input, 2 bad usage). Without files it reads the data
// files in dataFolder, when one is given.
int RunStabilityTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     const std::string& dataFolder = {});
