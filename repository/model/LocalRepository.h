#pragma once
// The class source of this computer: a repository file (or one in memory) read through the class
// model, for one identity.
#include "repository/model/ClassSource.h"

namespace morrowlen::repo {

class LocalRepository : public ClassSource {
  public:
    explicit LocalRepository(const ClassStore& store, Identity identity = Identity::current())
        : m_model(store, std::move(identity)) {}

    const ClassModel& model() const { return m_model; }

    std::unique_ptr<ReadScope> holdReads() const override;
    NamespaceHandle openNamespace(std::string_view path) const override;
    std::string namespacePath(NamespaceHandle ns) const override;
    std::vector<std::string> childNamespaces(NamespaceHandle ns) const override;
    std::vector<std::string> classNames(NamespaceHandle ns) const override;
    std::vector<ClassLink> classLinks(NamespaceHandle ns) const override;
    bool hasClass(NamespaceHandle ns, std::string_view className) const override;
    ResolvedClass getClass(NamespaceHandle ns, std::string_view className, std::int32_t flags) const override;
    std::vector<std::string> instanceNames(NamespaceHandle ns, std::string_view className) const override;
    std::optional<QualifierDecl> qualifierDecl(NamespaceHandle ns, std::string_view name) const override;
    std::vector<FindHit> find(NamespaceHandle under, const FindQuery& query,
                              std::vector<std::string>* refused = nullptr) const override;

  private:
    ClassModel m_model;
};

} // namespace morrowlen::repo
