#include "tools/ClassTree.h"

#include "tools/JsonLayout.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <set>

namespace morrowlen::tools {

namespace {

using Children = std::map<std::string, std::vector<std::string>>; // folded superclass -> subclasses

TreeNode grow(const Children& children, const std::string& name, int depth) {
    TreeNode node{name, 0, {}};
    const auto it = children.find(repo::foldCase(name));
    if (it == children.end()) return node;
    node.subclassCount = it->second.size();
    if (depth == 0) return node;
    for (const std::string& sub : it->second)
        node.subclasses.push_back(grow(children, sub, depth - 1));
    return node;
}

void sortNoCase(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return repo::foldCase(a) < repo::foldCase(b);
    });
}

struct Glyphs {
    const char* branch;
    const char* last;
    const char* pipe;
};
constexpr Glyphs Box{"\u251C\u2500\u2500 ", "\u2514\u2500\u2500 ", "\u2502   "};
constexpr Glyphs Ascii{"|-- ", "`-- ", "|   "};

void drawChildren(std::string& out, const std::vector<TreeNode>& nodes, const std::string& prefix,
                  const Glyphs& g) {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const bool last = i + 1 == nodes.size();
        out += prefix + (last ? g.last : g.branch) + nodes[i].name + '\n';
        drawChildren(out, nodes[i].subclasses, prefix + (last ? "    " : g.pipe), g);
    }
}

nlohmann::ordered_json nodeJson(const TreeNode& node) {
    nlohmann::ordered_json subclasses = nlohmann::ordered_json::array();
    for (const TreeNode& sub : node.subclasses)
        subclasses.push_back(nodeJson(sub));
    return {
        {"name", node.name}, {"subclassCount", node.subclassCount}, {"subclasses", std::move(subclasses)}};
}

bool isSet(const std::vector<repo::ResolvedQualifier>& qualifiers, std::string_view name) {
    for (const auto& q : qualifiers)
        if (repo::equalsNoCase(q.name, name)) return !(q.value == repo::Value::boolean(false));
    return false;
}

} // namespace

ClassTree buildClassTree(const repo::ClassSource& source, repo::NamespaceHandle ns,
                         std::string_view className, int depth) {
    ClassTree tree;
    tree.namespacePath = source.namespacePath(ns);
    Children children;
    std::set<std::string> own;
    std::vector<std::string> roots;
    const std::vector<repo::ClassLink> links = source.classLinks(ns);
    for (const repo::ClassLink& link : links)
        own.insert(repo::foldCase(link.name));
    for (const repo::ClassLink& link : links) {
        if (link.superclass.empty()) {
            roots.push_back(link.name);
            continue;
        }
        auto& subs = children[repo::foldCase(link.superclass)];
        // A system class with subclasses here heads a tree of its own.
        if (subs.empty() && !own.count(repo::foldCase(link.superclass))) roots.push_back(link.superclass);
        subs.push_back(link.name);
    }
    for (auto& [super, subs] : children)
        sortNoCase(subs);
    sortNoCase(roots);

    if (className.empty()) {
        for (const std::string& root : roots)
            tree.roots.push_back(grow(children, root, depth));
        return tree;
    }
    const repo::ResolvedClass cls = source.getClass(ns, className, 0);
    tree.className = cls.name;
    tree.superclasses = cls.derivation;
    tree.roots.push_back(grow(children, cls.name, depth));
    return tree;
}

std::string formatTreeText(const ClassTree& tree, bool boxDrawing) {
    const Glyphs& g = boxDrawing ? Box : Ascii;
    std::string out;
    if (tree.className.empty()) {
        for (const TreeNode& root : tree.roots) {
            out += root.name + '\n';
            drawChildren(out, root.subclasses, "", g);
        }
        return out;
    }
    // The superclass chain from the root down, each the only child of the one above.
    std::vector<std::string> chain(tree.superclasses.rbegin(), tree.superclasses.rend());
    chain.push_back(tree.roots.front().name);
    std::string indent;
    for (std::size_t level = 0; level < chain.size(); ++level) {
        out += (level == 0 ? std::string() : indent + g.last) + chain[level] + '\n';
        if (level > 0) indent += "    ";
    }
    drawChildren(out, tree.roots.front().subclasses, chain.size() > 1 ? indent : std::string(), g);
    return out;
}

std::string formatTreeJson(const ClassTree& tree) {
    nlohmann::ordered_json roots = nlohmann::ordered_json::array();
    for (const TreeNode& root : tree.roots)
        roots.push_back(nodeJson(root));
    const nlohmann::ordered_json j = {
        {"namespace", tree.namespacePath},
        {"class", tree.className.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(tree.className)},
        {"superclasses", tree.superclasses},
        {"tree", std::move(roots)}};
    return dumpJson(j, {{"tree", "subclasses"}, {}, false});
}

std::vector<AssociationRole> associationsOf(const repo::ClassSource& source, repo::NamespaceHandle ns,
                                            std::string_view className) {
    const repo::ResolvedClass target = source.getClass(ns, className, 0);
    std::set<std::string> targets{repo::foldCase(target.name)};
    for (const std::string& s : target.derivation)
        targets.insert(repo::foldCase(s));
    std::vector<AssociationRole> out;
    for (const repo::ClassLink& link : source.classLinks(ns)) {
        const repo::ResolvedClass cls = source.getClass(ns, link.name, 0);
        if (!isSet(cls.qualifiers, "Association")) continue;
        for (const repo::ResolvedProperty& p : cls.properties)
            if (p.type == repo::CimType::Reference && targets.count(repo::foldCase(p.refClass)))
                out.push_back({cls.name, p.name, p.refClass});
    }
    std::sort(out.begin(), out.end(), [](const AssociationRole& a, const AssociationRole& b) {
        const std::string ka = repo::foldCase(a.association), kb = repo::foldCase(b.association);
        return ka != kb ? ka < kb : repo::foldCase(a.role) < repo::foldCase(b.role);
    });
    return out;
}

std::string formatAssociationsText(const std::vector<AssociationRole>& roles) {
    std::string out;
    for (const AssociationRole& r : roles)
        out += r.association + '.' + r.role + " (" + r.referenceClass + ")\n";
    return out;
}

std::string formatAssociationsJson(std::string_view namespacePath, std::string_view className,
                                   const std::vector<AssociationRole>& roles) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const AssociationRole& r : roles)
        list.push_back(
            {{"association", r.association}, {"role", r.role}, {"referenceClass", r.referenceClass}});
    const nlohmann::ordered_json j = {
        {"namespace", namespacePath}, {"class", className}, {"associations", std::move(list)}};
    return dumpJson(j, {{"associations"}, {}, false});
}

} // namespace morrowlen::tools
