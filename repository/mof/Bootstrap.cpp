#include "Bootstrap.h"

#include "SystemClasses.h"

namespace morrowlen::mof {

namespace {

void installIfEmpty(repo::ClassStore& store) {
    // Also repairs a file whose creation stopped before the system classes were in.
    if (store.wasCreated() || store.classNames(store.systemNamespace()).empty()) installSystemClasses(store);
}

void copyNamespace(const repo::ClassStore& from, repo::NamespaceId src, repo::ClassStore& to,
                   repo::NamespaceId dst) {
    for (const repo::QualifierDecl& decl : from.qualifierDecls(src))
        to.putQualifierDecl(dst, decl);
    std::vector<std::string> classNames = from.classNames(src);
    for (const std::string& name : classNames)
        if (auto cls = from.getClass(src, name)) to.putClass(dst, *cls);
    for (const std::string& name : classNames)
        for (const repo::InstanceDef& inst : from.instancesOf(src, name))
            to.putInstance(dst, inst);
    to.setNamespaceAccess(dst, from.namespaceAccess(src));
    for (const auto& [child, name] : from.childNamespaces(src))
        copyNamespace(from, child, to, to.createNamespace(dst, name));
}

} // namespace

repo::ClassStore openOrCreateRepository(const std::string& path) {
    repo::ClassStore store = repo::ClassStore::open(path, repo::ClassStore::OpenMode::Create);
    installIfEmpty(store);
    return store;
}

repo::ClassStore createInMemoryRepository() {
    repo::ClassStore store = repo::ClassStore::openInMemory();
    installSystemClasses(store);
    return store;
}

void copyRepository(const repo::ClassStore& from, repo::ClassStore& to) {
    repo::Transaction tx = to.transaction();
    copyNamespace(from, from.systemNamespace(), to, to.systemNamespace());
    copyNamespace(from, from.rootNamespace(), to, to.rootNamespace());
    tx.commit();
}

} // namespace morrowlen::mof
