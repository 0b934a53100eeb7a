#pragma once
// The inheritance tree of a namespace or of one class, and the associations that reference a
// class, read through a class source and written as text or JSON (shapes in morrowlen-repo(1)).
#include "repository/model/ClassSource.h"

#include <string>
#include <string_view>
#include <vector>

namespace morrowlen::tools {

struct TreeNode {
    std::string name;
    std::size_t subclassCount = 0; // direct subclasses, also where the depth cut them off
    std::vector<TreeNode> subclasses;
};

struct ClassTree {
    std::string namespacePath;
    std::string className;                 // empty for the whole namespace
    std::vector<std::string> superclasses; // of className: the direct one first, up to the root
    std::vector<TreeNode> roots;           // the root classes, or className alone
};

// depth: levels of subclasses shown below the roots (or the class); negative for all.
ClassTree buildClassTree(const repo::ClassSource& source, repo::NamespaceHandle ns,
                         std::string_view className, int depth);
// With box-drawing characters for a terminal, otherwise ASCII.
std::string formatTreeText(const ClassTree& tree, bool boxDrawing);
std::string formatTreeJson(const ClassTree& tree);

struct AssociationRole {
    std::string association;
    std::string role;
    std::string referenceClass; // the class itself or one of its superclasses
};

// The association classes of the namespace with a reference to the class or one of its
// superclasses, sorted by association and role.
std::vector<AssociationRole> associationsOf(const repo::ClassSource& source, repo::NamespaceHandle ns,
                                            std::string_view className);
std::string formatAssociationsText(const std::vector<AssociationRole>& roles);
std::string formatAssociationsJson(std::string_view namespacePath, std::string_view className,
                                   const std::vector<AssociationRole>& roles);

} // namespace morrowlen::tools
