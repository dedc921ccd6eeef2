#pragma once

// A table is a family of files sharing one stem: the main file (.db, .dbf) and its companions
// (Paradox .px, .mb, .val, .tv, .xNN/.yNN, .xgN/.ygN; dBASE .dbt, .fpt, .mdx, .cdx). These
// helpers list, remove and replace whole families, so no stale companion stays beside a new
// table.

#include <string>
#include <vector>

namespace tessel::engine {

// The existing files of the family of `mainPath` (the main file first when it exists). Stems
// and extensions match without regard to case.
std::vector<std::string> TableFamilyFiles(const std::string& mainPath);

// Removes every file of the family. Raises EngineError when one cannot be removed.
void RemoveTableFamily(const std::string& mainPath);

// A fresh, unused main-file path in `dir` with the extension of `likePath` (".db", ".dbf"),
// for building a table that later replaces another by ReplaceTableFamily.
std::string TemporaryTablePath(const std::string& dir, const std::string& likePath);

// Puts the family of `newMainPath` in the place of the family of `destMainPath`: the old
// files are moved aside, the new ones renamed to the destination's stem, and the old ones
// removed. When a rename fails, what was moved is moved back and the error raised, so the old
// table stays whole. Old companions the new table has no counterpart for are removed.
void ReplaceTableFamily(const std::string& newMainPath, const std::string& destMainPath);

// Directory and file name parts of a path.
std::string DirectoryOf(const std::string& path);
std::string FileNameOf(const std::string& path);
// The extension with its dot, as written ("" when none).
std::string ExtensionOf(const std::string& path);

}  // namespace tessel::engine
