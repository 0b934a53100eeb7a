#include "tools/MofFormat.h"

#include "repository/mof/Source.h"
#include "tools/JsonLayout.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace morrowlen::mof {

using repo::CimType;

namespace {

void appendEscaped(std::string& out, std::string_view text, char quote) {
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        default:
            if (c == quote) {
                out += '\\';
                out += c;
            } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%04X",
                              static_cast<unsigned>(static_cast<unsigned char>(c)));
                out += buf;
            } else {
                out += c;
            }
        }
    }
}

std::string realText(double d) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, d);
    std::string s(buf, res.ptr);
    if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
    return s;
}

void appendScalarMof(std::string& out, const repo::Scalar& s, CimType type) {
    if (const auto* b = std::get_if<bool>(&s))
        out += *b ? "TRUE" : "FALSE";
    else if (const auto* i = std::get_if<std::int64_t>(&s))
        out += std::to_string(*i);
    else if (const auto* u = std::get_if<std::uint64_t>(&s)) {
        if (type == CimType::Char16) {
            std::string ch;
            if (*u >= 0x20 && *u != 0x7F) appendUtf8(ch, static_cast<std::uint32_t>(*u));
            out += '\'';
            if (ch.empty()) {
                char buf[12];
                std::snprintf(buf, sizeof buf, "\\x%04X", static_cast<unsigned>(*u));
                out += buf;
            } else {
                appendEscaped(out, ch, '\'');
            }
            out += '\'';
        } else {
            out += std::to_string(*u);
        }
    } else if (const auto* d = std::get_if<double>(&s))
        out += realText(*d);
    else {
        out += '"';
        appendEscaped(out, std::get<std::string>(s), '"');
        out += '"';
    }
}

// The flavor keywords that turn base into flavors when written after a colon.
std::string flavorSuffix(std::uint32_t flavors, std::uint32_t base) {
    using namespace repo::flavor;
    std::string out;
    const auto add = [&](const char* word) {
        out += out.empty() ? std::string(" : ") + word : std::string(" ") + word;
    };
    if ((flavors ^ base) & ToSubclass) add(flavors & ToSubclass ? "ToSubclass" : "Restricted");
    if ((flavors ^ base) & DisableOverride)
        add(flavors & DisableOverride ? "DisableOverride" : "EnableOverride");
    if ((flavors ^ base) & ToInstance) add(flavors & ToInstance ? "ToInstance" : "NotToInstance");
    if ((flavors & Amended) && !(base & Amended)) add("Amended");
    if ((flavors & Translatable) && !(base & Translatable)) add("Translatable");
    return out;
}

void appendQualifiersMof(std::string& out, const std::vector<repo::ResolvedQualifier>& qualifiers,
                         const DeclLookup& declOf, std::string_view indent, bool newline) {
    std::vector<std::string> items;
    for (const repo::ResolvedQualifier& q : qualifiers) {
        if (q.propagated || repo::equalsNoCase(q.name, "CIMTYPE")) continue;
        std::string list = q.name;
        const bool plainTrue = q.type == CimType::Boolean && !q.isArray && !q.value.isNull() &&
                               std::get<bool>(q.value.scalarValue());
        if (!plainTrue) {
            if (q.value.isArray())
                list += formatValueMof(q.value, q.type);
            else
                list += "(" + formatValueMof(q.value, q.type) + ")";
        }
        const repo::QualifierDecl* decl = declOf ? declOf(q.name) : nullptr;
        list += flavorSuffix(q.flavors, decl ? decl->flavors : repo::flavor::Default);
        items.push_back(std::move(list));
    }
    if (items.empty()) return;
    // Short lists stay on one line; long ones (descriptions, value maps) get a line per qualifier.
    std::size_t total = indent.size();
    for (const std::string& item : items)
        total += item.size() + 2;
    const std::string separator = newline && total > 100 ? ",\n " + std::string(indent) : ", ";
    std::string list;
    for (const std::string& item : items)
        list += (list.empty() ? "" : separator) + item;
    out += indent;
    out += "[" + list + "]";
    out += newline ? "\n" : " ";
}

bool embedded(const std::vector<repo::ResolvedQualifier>& qualifiers) {
    for (const auto& q : qualifiers)
        if (repo::equalsNoCase(q.name, "EmbeddedInstance") || repo::equalsNoCase(q.name, "EmbeddedObject"))
            return true;
    return false;
}

std::string typeMof(CimType type, const std::string& refClass,
                    const std::vector<repo::ResolvedQualifier>& quals) {
    if (type == CimType::Reference) return refClass + " REF";
    if (type == CimType::Object) {
        if (embedded(quals)) return "string"; // the qualifier makes it an object again
        return refClass.empty() ? "object" : refClass;
    }
    return std::string(repo::cimTypeName(type));
}

std::string arraySuffix(bool isArray, std::int32_t size) {
    if (!isArray) return {};
    return size > 0 ? "[" + std::to_string(size) + "]" : "[]";
}

using Json = nlohmann::ordered_json;

Json jsonScalar(const repo::Scalar& s, CimType type) {
    if (const auto* b = std::get_if<bool>(&s)) return *b;
    if (const auto* i = std::get_if<std::int64_t>(&s)) return *i;
    if (const auto* u = std::get_if<std::uint64_t>(&s)) {
        if (type != CimType::Char16) return *u;
        std::string ch;
        appendUtf8(ch, static_cast<std::uint32_t>(*u));
        return ch;
    }
    if (const auto* d = std::get_if<double>(&s)) return std::isfinite(*d) ? Json(*d) : Json();
    return std::get<std::string>(s);
}

Json jsonValue(const repo::Value& v, CimType type) {
    if (v.isNull()) return nullptr;
    if (!v.isArray()) return jsonScalar(v.scalarValue(), type);
    Json items = Json::array();
    for (const repo::Scalar& s : v.items())
        items.push_back(jsonScalar(s, type));
    return items;
}

Json flavorsJson(std::uint32_t f) {
    using namespace repo::flavor;
    Json out = {f & ToSubclass ? "ToSubclass" : "Restricted",
                f & DisableOverride ? "DisableOverride" : "EnableOverride"};
    if (f & ToInstance) out.push_back("ToInstance");
    if (f & Amended) out.push_back("Amended");
    if (f & Translatable) out.push_back("Translatable");
    return out;
}

Json qualifiersJson(const std::vector<repo::ResolvedQualifier>& qualifiers) {
    Json out = Json::array();
    for (const repo::ResolvedQualifier& q : qualifiers)
        out.push_back({{"name", q.name},
                       {"type", repo::cimTypeName(q.type)},
                       {"isArray", q.isArray},
                       {"value", jsonValue(q.value, q.type)},
                       {"flavors", flavorsJson(q.flavors)},
                       {"propagated", q.propagated}});
    return out;
}

Json orNull(const std::string& text) {
    return text.empty() ? Json() : Json(text);
}

Json featureJson(const repo::ResolvedFeature& f) {
    return {{"name", f.name},
            {"type", repo::cimTypeName(f.type)},
            {"isArray", f.isArray},
            {"arraySize", f.arraySize},
            {"referenceClass", orNull(f.refClass)},
            {"qualifiers", qualifiersJson(f.qualifiers)}};
}

} // namespace

std::string formatValueMof(const repo::Value& value, CimType type) {
    std::string out;
    if (value.isNull()) return "NULL";
    if (!value.isArray()) {
        appendScalarMof(out, value.scalarValue(), type);
        return out;
    }
    out += '{';
    for (std::size_t i = 0; i < value.items().size(); ++i) {
        if (i) out += ", ";
        appendScalarMof(out, value.items()[i], type);
    }
    out += '}';
    return out;
}

std::string formatQualifierDeclMof(const repo::QualifierDecl& decl) {
    std::string out = "Qualifier " + decl.name + " : " + std::string(repo::cimTypeName(decl.type)) +
                      arraySuffix(decl.isArray, decl.arraySize);
    if (decl.defaultValue) out += " = " + formatValueMof(*decl.defaultValue, decl.type);
    static constexpr std::pair<std::uint32_t, const char*> scopes[] = {
        {repo::scope::Class, "class"},           {repo::scope::Association, "association"},
        {repo::scope::Indication, "indication"}, {repo::scope::Property, "property"},
        {repo::scope::Reference, "reference"},   {repo::scope::Method, "method"},
        {repo::scope::Parameter, "parameter"},   {repo::scope::Qualifier, "qualifier"},
        {repo::scope::Schema, "schema"},         {repo::scope::Instance, "instance"}};
    std::string list;
    if ((decl.scopes & repo::scope::Any) == repo::scope::Any)
        list = "any";
    else
        for (const auto& [bit, word] : scopes)
            if (decl.scopes & bit) list += (list.empty() ? "" : ", ") + std::string(word);
    out += ",\n    Scope(" + list + ")";
    using namespace repo::flavor;
    std::string flavors = decl.flavors & DisableOverride ? "DisableOverride" : "EnableOverride";
    flavors += decl.flavors & ToSubclass ? ", ToSubclass" : ", Restricted";
    if (decl.flavors & ToInstance) flavors += ", ToInstance";
    if (decl.flavors & Amended) flavors += ", Amended";
    if (decl.flavors & Translatable) flavors += ", Translatable";
    out += ",\n    Flavor(" + flavors + ");\n";
    return out;
}

std::string formatClassMof(const repo::ResolvedClass& cls, const DeclLookup& declOf) {
    std::string out;
    appendQualifiersMof(out, cls.qualifiers, declOf, "", true);
    out += "class " + cls.name;
    if (!cls.superclass.empty()) out += " : " + cls.superclass;
    out += "\n{\n";
    for (const repo::ResolvedProperty& p : cls.properties) {
        appendQualifiersMof(out, p.qualifiers, declOf, "    ", true);
        out += "    " + typeMof(p.type, p.refClass, p.qualifiers) + " " + p.name +
               arraySuffix(p.isArray, p.arraySize);
        if (p.defaultValue) out += " = " + formatValueMof(*p.defaultValue, p.type);
        out += ";\n";
    }
    for (const repo::ResolvedMethod& m : cls.methods) {
        if (!cls.properties.empty() || &m != &cls.methods.front()) out += "\n";
        appendQualifiersMof(out, m.qualifiers, declOf, "    ", true);
        out += "    " +
               (m.returnsVoid ? std::string("void") : typeMof(m.returnType, m.returnRefClass, m.qualifiers)) +
               " " + m.name + "(";
        for (std::size_t i = 0; i < m.parameters.size(); ++i) {
            const repo::ResolvedFeature& p = m.parameters[i];
            out += i ? ",\n        " : "\n        ";
            appendQualifiersMof(out, p.qualifiers, declOf, "", false);
            out += typeMof(p.type, p.refClass, p.qualifiers) + " " + p.name +
                   arraySuffix(p.isArray, p.arraySize);
        }
        out += ");\n";
    }
    out += "};\n";
    return out;
}

std::string formatClassJson(const repo::ResolvedClass& cls) {
    Json properties = Json::array(), methods = Json::array();
    for (const repo::ResolvedProperty& p : cls.properties) {
        Json j = featureJson(p);
        j["classOrigin"] = p.classOrigin;
        j["hasDefault"] = p.defaultValue.has_value();
        j["default"] = p.defaultValue ? jsonValue(*p.defaultValue, p.type) : Json();
        properties.push_back(std::move(j));
    }
    for (const repo::ResolvedMethod& m : cls.methods) {
        Json parameters = Json::array();
        for (const repo::ResolvedFeature& p : m.parameters)
            parameters.push_back(featureJson(p));
        methods.push_back({{"name", m.name},
                           {"returnType", m.returnsVoid ? "void" : repo::cimTypeName(m.returnType)},
                           {"returnReferenceClass", orNull(m.returnRefClass)},
                           {"classOrigin", m.classOrigin},
                           {"qualifiers", qualifiersJson(m.qualifiers)},
                           {"parameters", std::move(parameters)}});
    }
    const Json j = {{"name", cls.name},
                    {"superclass", orNull(cls.superclass)},
                    {"derivation", cls.derivation},
                    {"qualifiers", qualifiersJson(cls.qualifiers)},
                    {"properties", std::move(properties)},
                    {"methods", std::move(methods)}};
    static const tools::JsonLayout layout{
        {"qualifiers", "properties", "methods", "parameters"}, {"qualifiers"}, true};
    return tools::dumpJson(j, layout);
}

} // namespace morrowlen::mof
