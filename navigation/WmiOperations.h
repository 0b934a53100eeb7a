#pragma once
// The operations of the management service that the program uses: connect by moniker,
// InstancesOf, SubclassesOf, Get, Properties_, Qualifiers_. They are served by a class source (the
// local repository for the computer "."). Every failure throws morrowlen::Error with the
// service's number and a description.
#include "repository/core/Error.h"
#include "repository/model/ClassSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morrowlen::nav {

// Moniker failures, numbered as the platform numbers them.
inline constexpr std::uint32_t MonikerSyntaxError = 0x800401E4; // not a management moniker
inline constexpr std::uint32_t HostUnavailable = 0x800706BA;    // a computer other than "."

// The service for the whole run: finds the class source of a computer named in a moniker.
class Locator {
  public:
    // The local computer's classes come from this source.
    explicit Locator(std::shared_ptr<const repo::ClassSource> local) : m_local(std::move(local)) {}
    // The local computer's classes come from this repository, read for the identity.
    explicit Locator(const repo::ClassStore& store, repo::Identity identity = repo::Identity::current());

    // The source serving a host: "." is this computer; any other fails with HostUnavailable.
    const repo::ClassSource& source(std::string_view host) const;
    const repo::ClassSource& local() const { return *m_local; }

  private:
    std::shared_ptr<const repo::ClassSource> m_local;
};

struct NamespaceInstance {
    std::string Name; // the child's own name, one path component
};

struct ObjectPath {
    std::string Class;
};

struct ClassItem {
    ObjectPath Path_;
};

class QualifierObject {
  public:
    explicit QualifierObject(repo::Value value) : m_value(std::move(value)) {}
    const repo::Value& Value() const { return m_value; }

  private:
    repo::Value m_value;
};

class PropertyObject {
  public:
    explicit PropertyObject(repo::ResolvedProperty property) : m_property(std::move(property)) {}
    const std::string& Name() const { return m_property.name; }
    // Looks a qualifier up by name without regard to case; Error NotFound when absent.
    QualifierObject Qualifiers_(std::string_view name) const;

  private:
    repo::ResolvedProperty m_property;
};

class ClassObject {
  public:
    explicit ClassObject(repo::ResolvedClass cls);
    const std::vector<PropertyObject>& Properties_() const { return m_properties; }

  private:
    repo::ResolvedClass m_class;
    std::vector<PropertyObject> m_properties;
};

class Services {
  public:
    Services(const repo::ClassSource& source, repo::NamespaceHandle ns, std::string path)
        : m_source(&source), m_ns(ns), m_path(std::move(path)) {}
    const std::string& path() const { return m_path; }

    // Only "__NAMESPACE" has instances that the program asks for: the direct child namespaces.
    std::vector<NamespaceInstance> InstancesOf(std::string_view className) const;
    // Every class of the namespace at every depth, system classes included.
    std::vector<ClassItem> SubclassesOf() const;
    ClassObject Get(std::string_view className, std::int32_t flags) const;

  private:
    const repo::ClassSource* m_source;
    repo::NamespaceHandle m_ns;
    std::string m_path;
};

// Connects by a moniker "winmgmts:\\.\<namespace path>" (scheme in any letter case; "//./" too).
Services connectMoniker(const Locator& locator, std::string_view moniker);

} // namespace morrowlen::nav
