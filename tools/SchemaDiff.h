#pragma once
// Two schemas compared: the classes of one namespace against those of another, which may come from
// this repository, another repository file, or MOF files compiled in memory for the comparison.
// Names are compared without regard to case; the order of properties, methods and qualifiers is
// no difference. A change is reported once, at the class that makes it: inherited members that a
// class leaves alone are not compared again there.
#include "report/PageWriter.h"
#include "repository/model/ClassSource.h"
#include "repository/model/LocalRepository.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morrowlen::tools {

// One difference of a changed class. kind is one of: superclass, qualifierAdded, qualifierRemoved,
// qualifierChanged, propertyAdded, propertyRemoved, methodAdded, methodRemoved, parameterAdded,
// parameterRemoved, type, array, referenceClass, default, returnType. property, method and
// parameter say where (empty for the class itself); values are written as MOF.
struct Difference {
    std::string kind;
    std::string property, method, parameter, qualifier;
    std::optional<std::string> before, after;
};

struct ClassChange {
    std::string className; // as B spells it
    std::vector<Difference> differences;
};

struct SchemaDiff {
    std::string labelA, labelB;
    std::vector<std::string> added, removed; // class names, sorted without regard to case
    std::vector<ClassChange> changed;
    bool equal() const { return added.empty() && removed.empty() && changed.empty(); }
};

// Every class of a namespace but the system classes, by folded name.
struct Schema {
    std::string label;
    std::map<std::string, repo::ResolvedClass> classes;
};

Schema readSchema(const repo::ClassSource& source, std::string_view ns, bool amended, std::string label);
SchemaDiff compareSchemas(const Schema& a, const Schema& b);

// One line per difference: "+ class X", "- class X", "~ X.Prop: what".
std::string formatDiffText(const SchemaDiff& diff);
// {"a", "b", "equal", "added": [...], "removed": [...], "changed": [{"class", "differences": [...]}]}
std::string formatDiffJson(const SchemaDiff& diff);
// A report page in the documentation site's look.
void writeDiffHtml(report::LineWriter& out, const SchemaDiff& diff);
// The bytes of the diff as text, json or html (Windows-1252, CR LF, as the site's pages).
std::string renderDiff(const SchemaDiff& diff, std::string_view format);

// One side of a comparison, named on the command line as
//   NAMESPACE                 a namespace of the repository the tool works on (root\dmtf)
//   FILE:NAMESPACE            a namespace of another repository file, opened read-only
//   MOF | FOLDER [:NAMESPACE] MOF files (a folder: every *.mof directly in it, by name) compiled
//                             in memory; the namespace defaults to root\cimv2
class SchemaOperand {
  public:
    // Throws morrowlen::Error when the file cannot be opened or the MOF does not compile (the
    // compiler's messages are in the description).
    // local gives the repository the tool works on, asked for only when spec names one of its namespaces.
    SchemaOperand(const std::function<const repo::ClassSource&()>& local, const std::string& spec);
    const repo::ClassSource& source() const { return *m_source; }
    const std::string& ns() const { return m_ns; }
    const std::string& label() const { return m_label; }

  private:
    std::unique_ptr<repo::ClassStore> m_store;
    std::unique_ptr<repo::LocalRepository> m_own;
    const repo::ClassSource* m_source = nullptr;
    std::string m_ns, m_label;
};

} // namespace morrowlen::tools
