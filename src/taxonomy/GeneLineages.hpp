#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace varnosk {

// Gene name -> lineage, e.g. "d__Bacteria;p__Bacillota;c__Bacilli;...;s__Genus species".
using GeneLineages = std::unordered_map<std::string, std::string>;

// Reads a gene annotation table (plain text or compressed): one gene per line, its name, a
// tab, its lineage (ranks separated by ';'); blank lines and lines starting with '#' are
// skipped. Keeps only the genes `wanted` accepts. Throws std::runtime_error naming the file
// and line for a line without exactly two tab-separated fields, an empty name or lineage, or
// a kept gene annotated twice.
GeneLineages readGeneLineages(const std::string& path, const std::function<bool(std::string_view name)>& wanted);

}  // namespace varnosk
