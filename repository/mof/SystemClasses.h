#pragma once
// The platform's system classes (__SystemClass, __NAMESPACE, __EventFilter, ...), shared by every
// namespace through the store's system namespace.
#include "repository/store/ClassStore.h"

#include <string_view>

namespace morrowlen::mof {

// The MOF text of the system classes (SystemClasses.mof, compiled into the library).
std::string_view systemClassesMof();

// Compiles the system classes into store.systemNamespace(), in one transaction. Throws
// morrowlen::Error if that fails, which only a broken build or a failing store can cause.
void installSystemClasses(repo::ClassStore& store);

} // namespace morrowlen::mof
