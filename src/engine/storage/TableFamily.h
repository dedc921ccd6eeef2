#pragma once

// A table is a family of files sharing one stem: the main file (.db, .dbf) and its companions
// (memo and BLOB files, indexes, validity checks, code page notes), as its driver names them.
// Files copied from other systems come in every mix of case, so a companion matches its table
// whatever the case of its stem and extension, on every path: open, drop, copy, rename. These
// helpers find, list, remove and replace whole families, so no stale companion stays beside a
// new table, and build a new family under temporary names that is swapped in at the end.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::engine {

class StorageDriver;

// The file `fileName` in `dir`: exactly, or else the one regular file whose name matches it
// without regard to case.
std::optional<std::string> FindFileNoCase(const std::string& dir, const std::string& fileName);

// The companion of the table `mainPath` with extension `ext` (".mb"): the file with the table's
// stem and that extension, both matched without regard to case; "" when there is none.
std::string FindCompanion(const std::string& mainPath, std::string_view ext);

// Where a new companion goes: the table's stem with `ext` in the case of the main file's own
// extension (lower case when that has a lower-case letter, else upper case: "T.DB" -> "T.MB").
std::string CompanionPath(const std::string& mainPath, std::string_view ext);

// The existing files of the family of `mainPath` (the main file first when it exists).
std::vector<std::string> TableFamilyFiles(const std::string& mainPath, const StorageDriver& driver);

// Removes every file of the family. Raises EngineError when one cannot be removed.
void RemoveTableFamily(const std::string& mainPath, const StorageDriver& driver);

// A fresh, unused main-file path in `dir` with the extension of `likePath` (".db", ".dbf"),
// for building a table that later replaces another by ReplaceTableFamily.
std::string TemporaryTablePath(const std::string& dir, const std::string& likePath);

// Puts the family of `newMainPath` in the place of the family of `destMainPath`: the old
// files are moved aside, the new ones renamed to the destination's stem, and the old ones
// removed. When a rename fails, what was moved is moved back and the error raised, so the old
// table stays whole. Old companions the new table has no counterpart for are removed. The new
// files get the permissions of the files they replace (new tables the usual ones).
void ReplaceTableFamily(const std::string& newMainPath, const std::string& destMainPath, const StorageDriver& driver);

// The one way a whole table is rewritten (ALTER TABLE, a copy over a table, a new table that
// replaces one): `build` writes the new family at the temporary main path it is given, then
// the family is swapped in for `destPath`'s. Whatever fails, the temporary family is removed
// and the old table stays as it was.
void BuildTableFamily(const std::string& destPath, const StorageDriver& driver,
                      const std::function<void(const std::string& tmpPath)>& build);

// Removes what builds in `dir` left behind when their process died: a build holds a lock on the
// placeholder of its temporary stem, and one nobody holds is stale. Every whole-table rewrite
// and every opening of a table for writing calls it for its directory.
void RemoveStaleBuilds(const std::string& dir);

// Finishes the swaps in `dir` that a crash cut off (ReplaceTableFamily writes down each swap
// before its first rename, and keeps the note locked until the last): the new family was
// complete, so its remaining files are renamed into place and the old ones removed.
void RecoverInterruptedSwaps(const std::string& dir);
// Whether a swap of the table `mainPath` was written down and not finished (one stat).
bool HasInterruptedSwap(const std::string& mainPath);

}  // namespace tessel::engine
