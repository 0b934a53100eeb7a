#include "repository/mof/Qualifiers.h"

#include "repository/mof/CompileContext.h"
#include "repository/mof/Values.h"

#include <algorithm>
#include <tuple>

namespace morrowlen::mof {

using repo::CimType;
using repo::NamespaceId;

std::uint32_t scopeBit(std::string_view keyword) {
    using namespace repo::scope;
    static constexpr std::pair<std::string_view, std::uint32_t> table[] = {{"class", Class},
                                                                           {"association", Association},
                                                                           {"indication", Indication},
                                                                           {"property", Property},
                                                                           {"reference", Reference},
                                                                           {"method", Method},
                                                                           {"parameter", Parameter},
                                                                           {"qualifier", Qualifier},
                                                                           {"schema", Schema},
                                                                           {"instance", Instance},
                                                                           {"any", Any}};
    for (const auto& [name, bit] : table)
        if (repo::equalsNoCase(name, keyword)) return bit;
    return 0;
}

std::string scopeNames(std::uint32_t scopes) {
    if ((scopes & repo::scope::Any) == repo::scope::Any) return "any";
    static constexpr std::string_view names[] = {"class",     "association", "indication", "property",
                                                 "reference", "method",      "parameter",  "qualifier",
                                                 "schema",    "instance"};
    std::string out;
    for (std::size_t i = 0; i < std::size(names); ++i)
        if (scopes & (1u << i)) out += (out.empty() ? "" : ", ") + std::string(names[i]);
    return out.empty() ? "none" : out;
}

namespace {
std::string_view scopeName(std::uint32_t bit) {
    switch (bit) {
    case repo::scope::Class:
        return "a class";
    case repo::scope::Association:
        return "an association";
    case repo::scope::Indication:
        return "an indication";
    case repo::scope::Property:
        return "a property";
    case repo::scope::Reference:
        return "a reference";
    case repo::scope::Method:
        return "a method";
    case repo::scope::Parameter:
        return "a parameter";
    default:
        return "this element";
    }
}

} // namespace

std::string_view flavorName(ast::Flavor::Kind kind) {
    using F = ast::Flavor::Kind;
    switch (kind) {
    case F::EnableOverride:
        return "EnableOverride";
    case F::DisableOverride:
        return "DisableOverride";
    case F::ToSubclass:
        return "ToSubclass";
    case F::NotToSubclass:
        return "NotToSubclass";
    case F::Restricted:
        return "Restricted";
    case F::ToInstance:
        return "ToInstance";
    case F::NotToInstance:
        return "NotToInstance";
    case F::Amended:
        return "Amended";
    case F::Translatable:
        return "Translatable";
    }
    return "?";
}

// Flavors of the standard qualifiers when a file uses them without declaring them, as the
// platform's compiler knows them: Abstract, Override and the like stay with their class.
std::uint32_t wellKnownFlavors(std::string_view name) {
    using namespace repo::flavor;
    struct Known {
        std::string_view name;
        std::uint32_t flavors;
    };
    static constexpr Known known[] = {
        {"abstract", 0},
        {"amendment", 0},
        {"deprecated", 0},
        {"experimental", 0},
        {"override", 0},
        {"umlpackagepath", 0},
        {"uuid", 0},
        {"version", Translatable},
        {"aggregate", ToSubclass | DisableOverride},
        {"aggregation", ToSubclass | DisableOverride},
        {"association", ToSubclass | DisableOverride},
        {"composition", ToSubclass | DisableOverride},
        {"exception", ToSubclass | DisableOverride},
        {"indication", ToSubclass | DisableOverride},
        {"key", ToSubclass | DisableOverride},
        {"propagated", ToSubclass | DisableOverride},
        {"weak", ToSubclass | DisableOverride},
    };
    for (const Known& k : known)
        if (repo::equalsNoCase(k.name, name)) return k.flavors;
    return repo::flavor::Default;
}

// Applies written flavors over defaults; conflicting ones are an error.
bool applyFlavors(const std::vector<ast::Flavor>& flavors, std::uint32_t& bits, Diagnostics& diagnostics) {
    using F = ast::Flavor::Kind;
    bool ok = true;
    const auto conflict = [&](F a, F b) {
        const ast::Flavor* first = nullptr;
        for (const ast::Flavor& f : flavors) {
            if (f.kind != a && f.kind != b) continue;
            if (first && first->kind != f.kind) {
                diagnostics.error(Phase::Semantic, f.location,
                                  static_cast<std::uint32_t>(flavorName(f.kind).size()),
                                  "flavor " + std::string(flavorName(f.kind)) + " conflicts with " +
                                      std::string(flavorName(first->kind)));
                ok = false;
                return;
            }
            if (!first) first = &f;
        }
    };
    conflict(F::EnableOverride, F::DisableOverride);
    conflict(F::ToSubclass, F::Restricted);
    conflict(F::ToSubclass, F::NotToSubclass);
    conflict(F::ToInstance, F::NotToInstance);
    if (!ok) return false;
    for (const ast::Flavor& f : flavors) {
        using namespace repo::flavor;
        switch (f.kind) {
        case F::EnableOverride:
            bits &= ~DisableOverride;
            break;
        case F::DisableOverride:
            bits |= DisableOverride;
            break;
        case F::ToSubclass:
            bits |= ToSubclass;
            break;
        case F::NotToSubclass:
        case F::Restricted:
            bits &= ~ToSubclass;
            break;
        case F::ToInstance:
            bits |= ToInstance;
            break;
        case F::NotToInstance:
            bits &= ~ToInstance;
            break;
        case F::Amended:
            bits |= Amended;
            break;
        case F::Translatable:
            bits |= Translatable;
            break;
        }
    }
    return true;
}

namespace detail {

// Resolves the qualifiers of one element; scope 0 skips the scope check (instances).
bool resolveQualifiers(CompileContext& cx, const std::vector<ast::QualifierNode>& nodes, NamespaceId ns,
                       std::uint32_t scope, std::vector<repo::Qualifier>& out) {
    bool ok = true;
    out.reserve(nodes.size());
    for (const ast::QualifierNode& node : nodes) {
        if (repo::equalsNoCase(node.name.text, "CIMTYPE")) {
            cx.error(node.name, "the CIMTYPE qualifier is given by the repository from the declared type; "
                                "remove it");
            ok = false;
            continue;
        }
        if (repo::findQualifier(out, node.name.text)) {
            cx.error(node.name, "qualifier '" + std::string(node.name.text) + "' is given twice");
            ok = false;
            continue;
        }
        repo::Qualifier q;
        q.name = std::string(node.name.text);
        const repo::QualifierDecl* decl = findQualifierDecl(cx, ns, node.name.text);
        if (decl) {
            if (scope != 0 && (decl->scopes & scope) == 0) {
                cx.error(node.name, "qualifier '" + q.name + "' may not be used on " +
                                        std::string(scopeName(scope)) +
                                        " (its scope: " + scopeNames(decl->scopes) + ")");
                ok = false;
                continue;
            }
            q.type = decl->type;
            q.isArray = decl->isArray;
            q.flavors = decl->flavors;
        } else {
            if (cx.options.strictQualifiers) {
                cx.error(node.name, "qualifier '" + q.name + "' is not declared");
                ok = false;
                continue;
            }
            std::tie(q.type, q.isArray) = inferQualifierType(node.value);
            q.flavors = wellKnownFlavors(q.name);
        }
        if (!cx.files.empty()) {
            const auto& defaults = cx.files.back().flavorDefaults;
            if (auto it = defaults.find(cx.fold(q.name)); it != defaults.end()) q.flavors = it->second;
        }
        if (!applyFlavors(node.flavors, q.flavors, cx.diagnostics)) {
            ok = false;
            continue;
        }
        if (!node.value) {
            if (q.type == CimType::Boolean && !q.isArray) q.value = repo::Value::boolean(true);
        } else if (!cx.converter.convertValue(*node.value, q.type, q.isArray, node.valueInParens, q.value)) {
            ok = false;
            continue;
        }
        out.push_back(std::move(q));
    }
    return ok;
}

// A subclass may repeat a DisableOverride qualifier but not change its value.
bool checkLocked(CompileContext& cx, const std::vector<const repo::Qualifier*>& locked,
                 const std::vector<repo::Qualifier>& own, const std::vector<ast::QualifierNode>& nodes,
                 std::string_view from) {
    bool ok = true;
    for (const repo::Qualifier* l : locked) {
        const repo::Qualifier* q = repo::findQualifier(own, l->name);
        if (!q || q->value == l->value) continue;
        const auto node = std::find_if(nodes.begin(), nodes.end(), [&](const ast::QualifierNode& n) {
            return repo::equalsNoCase(n.name.text, l->name);
        });
        cx.error(node->name, "qualifier '" + q->name + "' cannot be overridden with another value: " +
                                 std::string(from) + " gives it the DisableOverride flavor");
        ok = false;
    }
    return ok;
}

void lockQualifiers(std::vector<const repo::Qualifier*>& locked, const std::vector<repo::Qualifier>& own) {
    for (const repo::Qualifier& q : own) {
        const bool already = std::any_of(locked.begin(), locked.end(), [&](const repo::Qualifier* l) {
            return repo::equalsNoCase(l->name, q.name);
        });
        if (!already && (q.flavors & repo::flavor::DisableOverride) && (q.flavors & repo::flavor::ToSubclass))
            locked.push_back(&q);
    }
}

} // namespace detail
} // namespace morrowlen::mof
