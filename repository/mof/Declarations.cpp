#include "repository/core/Error.h"
#include "repository/mof/CompileContext.h"
#include "repository/mof/Qualifiers.h"
#include "repository/store/ClassStore.h"

#include <algorithm>

namespace morrowlen::mof::detail {

namespace {

void checkAliases(CompileContext& cx, const ast::ValueNode& v);
void createNamespaceInstance(CompileContext& cx, const ast::InstanceNode& node, const repo::InstanceDef& inst,
                             NamespaceId ns);
bool processProperty(CompileContext& cx, const ast::FeatureNode& f, NamespaceId ns, const std::string& self,
                     const ClassEntry* super, repo::ClassDef& def);
bool processMethod(CompileContext& cx, const ast::FeatureNode& f, NamespaceId ns, const std::string& self,
                   const ClassEntry* super, repo::ClassDef& def);
bool checkClassFlags(CompileContext& cx, const ast::ClassNode& node, NamespaceId ns, const std::string& name);

bool truthy(const repo::Qualifier& q) {
    if (q.value.isNull()) return false;
    const auto* b = std::get_if<bool>(&q.value.scalarValue());
    return b && *b;
}

// Notes a reference or embedded-object class that is not known yet; the resolve phase checks it
// once the whole compile has been read.
void expectClass(CompileContext& cx, NamespaceId ns, std::string_view name, Location at, std::uint32_t length,
                 bool reference) {
    cx.pending.push_back({ns, cx.currentNamespace, std::string(name), at, length, reference});
}

// Type names of other languages, which are mistakes rather than classes defined elsewhere.
bool looksLikeAType(std::string_view name) {
    static constexpr std::string_view words[] = {"int",  "int8",  "int16",   "int32",    "int64",  "uint",
                                                 "long", "short", "byte",    "float",    "double", "bool",
                                                 "char", "wchar", "real",    "integer",  "number", "date",
                                                 "time", "text",  "string8", "unsigned", "signed", "ref"};
    return std::any_of(std::begin(words), std::end(words),
                       [&](std::string_view w) { return repo::equalsNoCase(w, name); });
}

// Resolves a written type to a CIM type and class name; false after an error. A class not known
// yet is kept as written (see expectClass).
bool resolveType(CompileContext& cx, const ast::TypeNode& type, NamespaceId ns, std::string_view self,
                 CimType& out, std::string& refClass) {
    if (type.kind == ast::TypeNode::Kind::Intrinsic) {
        if (repo::equalsNoCase(type.name.text, "object"))
            out = CimType::Object;
        else
            out = *repo::intrinsicTypeFromName(type.name.text);
        return true;
    }
    out = type.kind == ast::TypeNode::Kind::Reference ? CimType::Reference : CimType::Object;
    if (repo::equalsNoCase(type.name.text, self)) {
        refClass = std::string(self);
        return true;
    }
    if (const ClassEntry* target = findClass(cx, ns, type.name.text)) {
        refClass = target->def.name;
        return true;
    }
    if (type.kind == ast::TypeNode::Kind::ClassName && looksLikeAType(type.name.text)) {
        cx.error(type.name, "unknown type or class '" + std::string(type.name.text) + "'");
        return false;
    }
    refClass = std::string(type.name.text);
    expectClass(cx, ns, type.name.text, type.name.location, static_cast<std::uint32_t>(type.name.text.size()),
                type.kind == ast::TypeNode::Kind::Reference);
    return true;
}

// [EmbeddedObject] string X and [EmbeddedInstance("C")] string X hold objects.
void applyEmbedding(CompileContext& cx, NamespaceId ns, CimType& type, std::string& refClass,
                    const std::vector<repo::Qualifier>& quals, const std::vector<ast::QualifierNode>& nodes) {
    if (type != CimType::String) return;
    if (const repo::Qualifier* q = repo::findQualifier(quals, "EmbeddedInstance")) {
        type = CimType::Object;
        const auto* s = q->value.isNull() || q->value.isArray()
                            ? nullptr
                            : std::get_if<std::string>(&q->value.scalarValue());
        if (!s) return;
        refClass = *s;
        if (!s->empty() && !findClass(cx, ns, *s))
            for (const ast::QualifierNode& n : nodes)
                if (repo::equalsNoCase(n.name.text, "EmbeddedInstance") && n.value)
                    expectClass(cx, ns, *s, n.value->location, n.value->length, false);
    } else if (const repo::Qualifier* e = repo::findQualifier(quals, "EmbeddedObject"); e && truthy(*e)) {
        type = CimType::Object;
    }
}

void processClass(CompileContext& cx, const ast::ClassNode& node) {
    const NamespaceId ns = currentNs(cx);
    bool ok = true;
    const std::string name(node.name.text);
    if (name.rfind("__", 0) == 0 && !cx.options.systemClasses) {
        cx.error(node.name, "class names starting with '__' are reserved for system classes");
        ok = false;
    }
    const bool amendment = std::any_of(node.qualifiers.begin(), node.qualifiers.end(), [](const auto& q) {
        return repo::equalsNoCase(q.name.text, "Amendment") &&
               !(q.value && q.value->kind == ast::ValueNode::Kind::Boolean && !q.value->boolean);
    });

    ClassEntry* super = nullptr;
    if (node.superclass) {
        super = findClass(cx, ns, node.superclass->text);
        if (!super && !amendment) {
            const std::string wanted = cx.fold(node.superclass->text);
            if (std::find(cx.pulling.begin(), cx.pulling.end(), wanted) != cx.pulling.end()) {
                cx.error(*node.superclass, "superclass cycle: class '" + name + "' derives from '" +
                                               std::string(node.superclass->text) +
                                               "', which is being read to define that class's superclass");
                ok = false;
            } else if (pullInClassFile(cx, ns, cx.currentNamespace, node.superclass->text,
                                       node.superclass->location)) {
                super = findClass(cx, ns, node.superclass->text);
            }
        }
        if (!super && !amendment && ok) {
            cx.error(*node.superclass, "unknown superclass '" + std::string(node.superclass->text) + "'");
            ok = false;
        }
        std::size_t depth = 0;
        for (const ClassEntry* up = super; up;
             up = up->def.superclass.empty() ? nullptr : findClass(cx, up->ns, up->def.superclass)) {
            if (repo::equalsNoCase(up->def.name, name) && up->ns == ns) {
                cx.error(*node.superclass, "class '" + name + "' would be its own superclass");
                ok = false;
                super = nullptr;
                break;
            }
            if (++depth > limits::MaxInheritanceDepth) {
                cx.error(*node.superclass, "more than " + std::to_string(limits::MaxInheritanceDepth) +
                                               " superclasses above class '" + name + "'");
                ok = false;
                super = nullptr;
                break;
            }
        }
    }

    auto entry = std::make_unique<ClassEntry>();
    entry->ns = ns;
    entry->location = node.location;
    repo::ClassDef& def = entry->def;
    def.name = name;
    // A refused superclass is not recorded, so no chain in the caches can loop.
    if (node.superclass && (super || (amendment && ok && !repo::equalsNoCase(node.superclass->text, name))))
        def.superclass = super ? super->def.name : std::string(node.superclass->text);

    // Whether this class is an association decides which qualifier scope applies.
    bool association = super && super->association, indication = super && super->indication;
    for (const ast::QualifierNode& q : node.qualifiers) {
        const bool on = !(q.value && q.value->kind == ast::ValueNode::Kind::Boolean && !q.value->boolean);
        if (repo::equalsNoCase(q.name.text, "Association")) association = on;
        if (repo::equalsNoCase(q.name.text, "Indication")) indication = on;
    }
    const std::uint32_t classScope = association  ? repo::scope::Association
                                     : indication ? repo::scope::Indication
                                                  : repo::scope::Class;
    ok &= resolveQualifiers(cx, node.qualifiers, ns, classScope, def.qualifiers);
    if (super)
        ok &=
            checkLocked(cx, super->locked, def.qualifiers, node.qualifiers, "superclass " + super->def.name);

    std::unordered_map<std::string, const ast::Name*> seen;
    std::vector<const ast::FeatureNode*> broken;
    def.properties.reserve(node.features.size());
    for (const ast::FeatureNode& f : node.features) {
        if (!seen.emplace(cx.fold(f.name.text), &f.name).second) {
            cx.error(f.name, "'" + std::string(f.name.text) + "' is declared twice in class " + name);
            ok = false;
            continue;
        }
        const bool fine = f.kind == ast::FeatureNode::Kind::Property
                              ? processProperty(cx, f, ns, name, super, def)
                              : processMethod(cx, f, ns, name, super, def);
        if (!fine) broken.push_back(&f);
        ok &= fine;
    }

    ok &= checkClassFlags(cx, node, ns, name);
    if (ok && cx.canWrite()) {
        if (cx.options.writeClasses) cx.store.putClass(ns, def);
        ++cx.stats.classes;
    }
    keepCheckedParts(def);
    deriveView(cx, *entry, super);
    for (const ast::FeatureNode* f : broken) {
        // Keep the member known, so that instances do not report it missing as well.
        const bool method = f->kind == ast::FeatureNode::Kind::Method;
        const std::string& key = cx.fold(f->name.text);
        const Member* inherited = !super ? nullptr : method ? super->method(key) : super->property(key);
        auto [it, isNew] = (method ? entry->ownMethods : entry->ownProperties).try_emplace(key);
        if (isNew && inherited)
            it->second = *inherited;
        else if (isNew)
            it->second.name = std::string(f->name.text);
        it->second.broken = true;
    }
    ClassEntry* raw = entry.get();
    cx.entries.push_back(std::move(entry));
    cx.classes[ns][cx.fold(name)] = raw;
    cx.definedHere[ns].try_emplace(cx.fold(name), node.name.location);
}

std::string typeText(CimType type, bool isArray) {
    return std::string(repo::cimTypeName(type)) + (isArray ? "[]" : "");
}

const Member* inheritedProperty(CompileContext& cx, const ClassEntry* super, std::string_view name) {
    return super ? super->property(cx.fold(name)) : nullptr;
}

const Member* inheritedMethod(CompileContext& cx, const ClassEntry* super, std::string_view name) {
    return super ? super->method(cx.fold(name)) : nullptr;
}

// A property may share its name with an inherited method: the platform keeps them apart.
bool processProperty(CompileContext& cx, const ast::FeatureNode& f, NamespaceId ns, const std::string& self,
                     const ClassEntry* super, repo::ClassDef& def) {
    const Member* inherited = inheritedProperty(cx, super, f.name.text);
    repo::PropertyDef p;
    p.name = std::string(f.name.text);
    bool ok = resolveType(cx, f.type, ns, self, p.type, p.refClass);
    const std::uint32_t scope = p.type == CimType::Reference ? repo::scope::Reference : repo::scope::Property;
    ok &= resolveQualifiers(cx, f.qualifiers, ns, scope, p.qualifiers);
    if (!ok) return false;
    applyEmbedding(cx, ns, p.type, p.refClass, p.qualifiers, f.qualifiers);
    if (inherited && inherited->embedded && p.type == CimType::String) {
        // The embedding qualifier reaches the redeclaration from the superclass.
        p.type = inherited->type;
        if (p.refClass.empty()) p.refClass = inherited->refClass;
    }
    p.isArray = f.array != ast::ArrayKind::None;
    p.arraySize = static_cast<std::int32_t>(f.arraySize);
    if (inherited) {
        if (inherited->type != p.type || inherited->isArray != p.isArray) {
            cx.error(f.name, "property '" + p.name + "' is redeclared as " + typeText(p.type, p.isArray) +
                                 "; the superclass declares it " +
                                 typeText(inherited->type, inherited->isArray));
            return false;
        }
        ok &= checkLocked(cx, inherited->locked, p.qualifiers, f.qualifiers, "the superclass's property");
    }
    if (f.defaultValue) {
        repo::Value v;
        if (!cx.converter.convertValue(*f.defaultValue, p.type, p.isArray, false, v)) return false;
        if (p.arraySize > 0 && v.isArray() && v.items().size() > static_cast<std::size_t>(p.arraySize)) {
            cx.error(f.defaultValue->location, 1,
                     "the array holds at most " + std::to_string(p.arraySize) + " elements");
            return false;
        }
        p.defaultValue = std::move(v);
    }
    if (ok) def.properties.push_back(std::move(p));
    return ok;
}

bool processMethod(CompileContext& cx, const ast::FeatureNode& f, NamespaceId ns, const std::string& self,
                   const ClassEntry* super, repo::ClassDef& def) {
    const Member* inherited = inheritedMethod(cx, super, f.name.text);
    repo::MethodDef m;
    m.name = std::string(f.name.text);
    bool ok = true;
    if (f.type.kind == ast::TypeNode::Kind::ClassName && repo::equalsNoCase(f.type.name.text, "void"))
        m.returnsVoid = true;
    else
        ok = resolveType(cx, f.type, ns, self, m.returnType, m.returnRefClass);
    ok &= resolveQualifiers(cx, f.qualifiers, ns, repo::scope::Method, m.qualifiers);
    if (!inherited && inheritedProperty(cx, super, f.name.text)) {
        cx.error(f.name, "method '" + m.name + "' has the name of an inherited property");
        return false;
    }
    if (ok && inherited)
        ok &= checkLocked(cx, inherited->locked, m.qualifiers, f.qualifiers, "the superclass's method");
    std::unordered_set<std::string> names;
    for (const ast::ParameterNode& pn : f.parameters) {
        repo::ParameterDef p;
        p.name = std::string(pn.name.text);
        if (!names.insert(cx.fold(p.name)).second) {
            cx.error(pn.name, "parameter '" + p.name + "' is declared twice");
            ok = false;
            continue;
        }
        bool pok = resolveType(cx, pn.type, ns, self, p.type, p.refClass);
        pok &= resolveQualifiers(cx, pn.qualifiers, ns, repo::scope::Parameter, p.qualifiers);
        if (!pok) {
            ok = false;
            continue;
        }
        applyEmbedding(cx, ns, p.type, p.refClass, p.qualifiers, pn.qualifiers);
        if (inherited && inherited->method && p.type == CimType::String) {
            // An embedded object parameter stays one when a subclass redeclares the method.
            for (const repo::ParameterDef& old : inherited->method->parameters)
                if (repo::equalsNoCase(old.name, p.name) && old.type == CimType::Object) {
                    p.type = CimType::Object;
                    p.refClass = old.refClass;
                }
        }
        p.isArray = pn.array != ast::ArrayKind::None;
        p.arraySize = static_cast<std::int32_t>(pn.arraySize);
        m.parameters.push_back(std::move(p));
    }
    if (ok) def.methods.push_back(std::move(m));
    return ok;
}

bool checkClassFlags(CompileContext& cx, const ast::ClassNode& node, NamespaceId ns,
                     const std::string& name) {
    if (cx.options.systemClasses) return true;
    const auto& here = cx.definedHere[ns];
    const auto earlier = here.find(cx.fold(name));
    const bool inCompile = earlier != here.end();
    const bool inStore = !inCompile && cx.isStored(ns, name);
    const std::uint32_t flags = cx.classFlags;
    if ((flags & classflags::CreateOnly) && (inStore || inCompile)) {
        cx.error(node.name, "class '" + name + "' already exists (classflags createonly)");
        return false;
    }
    if ((flags & classflags::UpdateOnly) && !inStore && !inCompile) {
        cx.error(node.name, "class '" + name + "' does not exist (classflags updateonly)");
        return false;
    }
    if (inCompile && !(flags & (classflags::ForceUpdate | classflags::SafeUpdate | classflags::UpdateOnly))) {
        cx.error(node.name, "class '" + name + "' is defined twice in this compile");
        cx.diagnostics.note(earlier->second, static_cast<std::uint32_t>(name.size()), "first defined here");
        return false;
    }
    if (inStore && !(flags & classflags::ForceUpdate)) {
        // Changing a class that has subclasses must not take away what they build on.
        const auto subclasses = cx.store.subclassNames(ns, name);
        if (subclasses.empty()) return true;
        const ClassEntry* old = findClass(cx, ns, name);
        std::string conflict;
        if (old && node.superclass && !repo::equalsNoCase(old->def.superclass, node.superclass->text))
            conflict = "its superclass changes";
        if (old && conflict.empty()) {
            for (const repo::PropertyDef& p : old->def.properties) {
                const auto f = std::find_if(node.features.begin(), node.features.end(), [&](const auto& n) {
                    return repo::equalsNoCase(n.name.text, p.name);
                });
                if (f == node.features.end()) {
                    conflict = "property '" + p.name + "' is removed";
                    break;
                }
            }
        }
        if (!conflict.empty()) {
            cx.error(node.name, "updating class '" + name + "' would conflict with its subclass '" +
                                    subclasses.front() + "': " + conflict +
                                    " (classflags forceupdate allows it)");
            return false;
        }
    }
    return true;
}

// The object path of an instance: Class.Key="text",Num=5 (keys given, in key order), or Class=@.
std::string instancePath(const ClassEntry& cls, const repo::InstanceDef& inst, bool& allKeys) {
    std::string path = cls.def.name;
    allKeys = !cls.keys.empty();
    if (cls.keys.empty()) return path + "=@";
    char sep = '.';
    for (const std::string& key : cls.keys) {
        const Member& m = *cls.property(key);
        const auto it =
            std::find_if(inst.properties.begin(), inst.properties.end(),
                         [&](const repo::PropertyValue& v) { return repo::equalsNoCase(v.name, m.name); });
        if (it == inst.properties.end()) {
            allKeys = false;
            continue;
        }
        path += sep + m.name + "=" + pathValue(it->value, m.type);
        sep = ',';
    }
    return path;
}

// Paths of the instances of a class stored so far, read from the store once per class.
std::unordered_set<std::string>& storedInstancePaths(CompileContext& cx, NamespaceId ns,
                                                     const ClassEntry& cls) {
    auto [it, isNew] = cx.instancePaths.try_emplace(std::to_string(ns) + ':' + cx.fold(cls.def.name));
    if (isNew) {
        bool allKeys = false;
        for (const repo::InstanceDef& old : cx.store.instancesOf(ns, cls.def.name))
            it->second.insert(instancePath(cls, old, allKeys));
    }
    return it->second;
}

// Writes an instance. As on the platform, one with the keys of an existing instance replaces it,
// unless #pragma instanceflags asks otherwise.
void putInstance(CompileContext& cx, NamespaceId ns, const ClassEntry& cls, const repo::InstanceDef& inst,
                 const ast::InstanceNode& node) {
    bool allKeys = false;
    const std::string path = instancePath(cls, inst, allKeys);
    if (allKeys) {
        auto& paths = storedInstancePaths(cx, ns, cls);
        const bool exists = paths.count(path) > 0;
        if (exists && (cx.instanceFlags & instanceflags::CreateOnly)) {
            cx.error(node.className, "instance " + path + " already exists (instanceflags createonly)");
            return;
        }
        if (!exists && (cx.instanceFlags & instanceflags::UpdateOnly)) {
            cx.error(node.className, "instance " + path + " does not exist (instanceflags updateonly)");
            return;
        }
        if (!cx.canWrite()) return;
        if (exists) {
            cx.store.deleteInstances(ns, cls.def.name, [&](const repo::InstanceDef& old) {
                bool complete = false;
                return instancePath(cls, old, complete) == path;
            });
        }
        paths.insert(path);
    }
    if (!cx.canWrite()) return;
    cx.store.putInstance(ns, inst);
    ++cx.stats.instances;
}

void processInstance(CompileContext& cx, const ast::InstanceNode& node) {
    const NamespaceId ns = currentNs(cx);
    ClassEntry* cls = findClass(cx, ns, node.className.text);
    repo::InstanceDef inst;
    bool ok = true;
    if (!cls) {
        cx.error(node.className, "instance of unknown class '" + std::string(node.className.text) + "'");
        ok = false;
    } else {
        inst.className = cls->def.name;
    }
    ok &= resolveQualifiers(cx, node.qualifiers, ns, 0, inst.qualifiers);
    std::unordered_set<std::string> seen;
    for (const ast::PropertyValueNode& pv : node.properties) {
        if (!seen.insert(cx.fold(pv.name.text)).second) {
            cx.error(pv.name, "property '" + std::string(pv.name.text) + "' is given twice");
            ok = false;
            continue;
        }
        if (!cls) {
            checkAliases(cx, pv.value);
            continue;
        }
        const Member* found = cls->property(cx.fold(pv.name.text));
        if (!found) {
            cx.error(pv.name,
                     "class '" + cls->def.name + "' has no property '" + std::string(pv.name.text) + "'");
            ok = false;
            continue;
        }
        const Member& m = *found;
        if (m.broken) continue;
        repo::PropertyValue out;
        out.name = m.name;
        // A property named without a value is left to its provider ([DYNPROPS] instances).
        if ((pv.hasValue && !cx.converter.convertValue(pv.value, m.type, m.isArray, false, out.value)) ||
            !resolveQualifiers(cx, pv.qualifiers, ns, 0, out.qualifiers)) {
            ok = false;
            continue;
        }
        inst.properties.push_back(std::move(out));
    }
    if (node.alias) {
        bool allKeys = false;
        const std::string path =
            cls ? instancePath(*cls, inst, allKeys) : std::string(node.className.text) + "=@";
        const std::string aliasName(node.alias->text.substr(1));
        auto [it, added] = cx.aliases.try_emplace(cx.fold(aliasName), AliasEntry{path, node.alias->location});
        if (!added) {
            cx.error(*node.alias, "alias '" + std::string(node.alias->text) + "' is already defined");
            cx.diagnostics.note(it->second.location, 1, "first defined here");
            ok = false;
        }
    }
    if (!ok || !cls) return;
    if (repo::equalsNoCase(cls->def.name, "__NAMESPACE")) {
        createNamespaceInstance(cx, node, inst, ns);
        return;
    }
    putInstance(cx, ns, *cls, inst, node);
}

// Reports unknown aliases in a value whose type is unknown.
void checkAliases(CompileContext& cx, const ast::ValueNode& v) {
    if (v.kind == ast::ValueNode::Kind::Alias && !cx.aliases.count(cx.fold(v.text)))
        cx.error(v.location, v.length,
                 "unknown alias '$" + v.text + "' (an alias must be defined before use)");
    for (const ast::ValueNode& item : v.items)
        checkAliases(cx, item);
}

void createNamespaceInstance(CompileContext& cx, const ast::InstanceNode& node, const repo::InstanceDef& inst,
                             NamespaceId ns) {
    const repo::PropertyValue* nameValue = nullptr;
    for (const auto& p : inst.properties)
        if (repo::equalsNoCase(p.name, "Name")) nameValue = &p;
    const std::string* text = nullptr;
    if (nameValue && !nameValue->value.isNull() && !nameValue->value.isArray())
        text = std::get_if<std::string>(&nameValue->value.scalarValue());
    if (!text) {
        cx.error(node.className, "an instance of __NAMESPACE needs a Name");
        return;
    }
    if (const std::string problem = namespaceNameProblem(*text); !problem.empty()) {
        cx.error(node.className, problem);
        return;
    }
    if (!cx.canWrite()) return;
    if (!cx.store.findChild(ns, *text)) {
        cx.store.createNamespace(ns, *text);
        ++cx.stats.namespaces;
    }
}

void processQualifierDecl(CompileContext& cx, const ast::QualifierDeclNode& node) {
    std::uint32_t flavors = repo::flavor::Default;
    if (!node.type) {
        // "Qualifier Description : ToSubclass Amended;" sets defaults for the rest of this file.
        if (applyFlavors(node.flavors, flavors, cx.diagnostics) && !cx.files.empty())
            cx.files.back().flavorDefaults[cx.fold(node.name.text)] = flavors;
        return;
    }
    const NamespaceId ns = currentNs(cx);
    repo::QualifierDecl decl;
    decl.name = std::string(node.name.text);
    bool ok = true;
    if (repo::equalsNoCase(node.type->name.text, "object")) {
        cx.error(node.type->name, "a qualifier cannot have the type object");
        return;
    }
    decl.type = *repo::intrinsicTypeFromName(node.type->name.text);
    decl.isArray = node.array != ast::ArrayKind::None;
    decl.arraySize = static_cast<std::int32_t>(node.arraySize);
    if (node.defaultValue) {
        repo::Value v;
        if (cx.converter.convertValue(*node.defaultValue, decl.type, decl.isArray, false, v))
            decl.defaultValue = std::move(v);
        else
            ok = false;
    }
    decl.scopes = 0;
    for (const ast::Name& s : node.scopes)
        decl.scopes |= scopeBit(s.text);
    ok &= applyFlavors(node.flavors, flavors, cx.diagnostics);
    decl.flavors = flavors;
    if (!ok) return;
    cx.qualifierDecls[ns][cx.fold(decl.name)] = decl;
    if (cx.canWrite()) {
        cx.store.putQualifierDecl(ns, decl);
        ++cx.stats.qualifierDecls;
    }
}

} // namespace

void processDeclaration(CompileContext& cx, const ast::Declaration& decl) {
    try {
        if (const auto* p = std::get_if<ast::PragmaNode>(&decl))
            processPragma(cx, *p);
        else if (const auto* q = std::get_if<ast::QualifierDeclNode>(&decl))
            processQualifierDecl(cx, *q);
        else if (const auto* c = std::get_if<ast::ClassNode>(&decl))
            processClass(cx, *c);
        else
            processInstance(cx, std::get<ast::InstanceNode>(decl));
    } catch (const Error& e) {
        const Location at = std::visit([](const auto& d) { return d.location; }, decl);
        cx.diagnostics.error(Phase::Repository, at, 1, "repository failure: " + e.description());
        cx.aborted = true;
    }
}

} // namespace morrowlen::mof::detail
