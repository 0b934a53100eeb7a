#include "repository/store/Codec.h"

#include "repository/core/Error.h"

#include <cstring>
#include <vector>

namespace morrowlen::repo::codec {

namespace {

constexpr std::uint8_t FormatVersion = 1;
// A class definition whose descriptions are kept apart (see TextApart); read since schema 5.
constexpr std::uint8_t TextsApartVersion = 2;
constexpr std::uint8_t TextApartTag = 3; // in place of a value: the index of the text kept apart
constexpr std::uint64_t MaxCount = 1u << 24;

class Writer {
  public:
    // A class definition is a few kilobytes; starting there saves most of the regrowing.
    explicit Writer(std::span<const TextApart> apart = {}) : m_apart(apart) { m_out.reserve(4096); }
    bool allApartWritten() const { return m_nextApart == m_apart.size(); }
    void u(std::uint64_t v) {
        while (v >= 0x80) {
            m_out.push_back(static_cast<char>((v & 0x7F) | 0x80));
            v >>= 7;
        }
        m_out.push_back(static_cast<char>(v));
    }
    void s(std::string_view text) {
        u(text.size());
        m_out.append(text);
    }
    void b(bool v) { m_out.push_back(v ? 1 : 0); }
    void byte(std::uint8_t v) { m_out.push_back(static_cast<char>(v)); }
    void real(double d) {
        char buf[sizeof d];
        std::memcpy(buf, &d, sizeof d);
        m_out.append(buf, sizeof d);
    }
    std::string take() { return std::move(m_out); }

    void scalar(const Scalar& sc) {
        byte(static_cast<std::uint8_t>(sc.index()));
        switch (sc.index()) {
        case 0:
            b(std::get<bool>(sc));
            break;
        case 1:
            u(static_cast<std::uint64_t>(std::get<std::int64_t>(sc)));
            break;
        case 2:
            u(std::get<std::uint64_t>(sc));
            break;
        case 3:
            real(std::get<double>(sc));
            break;
        case 4:
            s(std::get<std::string>(sc));
            break;
        }
    }
    void value(const Value& v) {
        if (v.isNull()) {
            byte(0);
        } else if (v.isArray()) {
            byte(2);
            u(v.items().size());
            for (const auto& item : v.items())
                scalar(item);
        } else {
            byte(1);
            scalar(v.scalarValue());
        }
    }
    void optValue(const std::optional<Value>& v) {
        b(v.has_value());
        if (v) value(*v);
    }
    void qualifiers(const std::vector<Qualifier>& qs) {
        u(qs.size());
        for (const auto& q : qs) {
            s(q.name);
            byte(static_cast<std::uint8_t>(q.type));
            b(q.isArray);
            if (m_nextApart < m_apart.size() && m_apart[m_nextApart].qualifier == &q) {
                byte(TextApartTag);
                u(m_apart[m_nextApart++].index);
            } else {
                value(q.value);
            }
            u(q.flavors);
        }
    }
    void feature(const Feature& f) {
        s(f.name);
        byte(static_cast<std::uint8_t>(f.type));
        b(f.isArray);
        u(static_cast<std::uint32_t>(f.arraySize));
        s(f.refClass);
        qualifiers(f.qualifiers);
    }

  private:
    std::string m_out;
    std::span<const TextApart> m_apart;
    std::size_t m_nextApart = 0;
};

class Reader {
  public:
    Reader(std::string_view bytes, std::string_view what, std::span<std::string> texts = {})
        : m_in(bytes), m_what(what), m_texts(texts), m_textTaken(texts.size()) {}

    [[noreturn]] void corrupt() const {
        throw Error(wbem::Failed, "The repository is damaged: the stored definition of " +
                                      std::string(m_what) + " cannot be read");
    }
    std::uint8_t byte() {
        if (m_pos >= m_in.size()) corrupt();
        return static_cast<std::uint8_t>(m_in[m_pos++]);
    }
    std::uint64_t u() {
        std::uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            std::uint8_t c = byte();
            v |= static_cast<std::uint64_t>(c & 0x7F) << shift;
            if (!(c & 0x80)) return v;
        }
        corrupt();
    }
    std::uint64_t count() {
        std::uint64_t n = u();
        if (n > MaxCount || n > m_in.size() - m_pos) corrupt();
        return n;
    }
    std::string s() {
        std::uint64_t n = u();
        if (n > m_in.size() - m_pos) corrupt();
        std::string out(m_in.substr(m_pos, n));
        m_pos += n;
        return out;
    }
    bool b() {
        std::uint8_t v = byte();
        if (v > 1) corrupt();
        return v == 1;
    }
    double real() {
        if (m_in.size() - m_pos < sizeof(double)) corrupt();
        double d;
        std::memcpy(&d, m_in.data() + m_pos, sizeof d);
        m_pos += sizeof d;
        return d;
    }
    CimType type() {
        std::uint8_t t = byte();
        if (t > static_cast<std::uint8_t>(CimType::Object)) corrupt();
        return static_cast<CimType>(t);
    }
    Scalar scalar() {
        switch (byte()) {
        case 0:
            return Scalar{b()};
        case 1:
            return Scalar{static_cast<std::int64_t>(u())};
        case 2:
            return Scalar{u()};
        case 3:
            return Scalar{real()};
        case 4:
            return Scalar{s()};
        default:
            corrupt();
        }
    }
    Value value() {
        switch (byte()) {
        case 0:
            return Value();
        case 1:
            return Value::scalar(scalar());
        case 2: {
            std::uint64_t n = count();
            std::vector<Scalar> items;
            items.reserve(n);
            for (std::uint64_t i = 0; i < n; ++i)
                items.push_back(scalar());
            return Value::array(std::move(items));
        }
        case TextApartTag: {
            const std::uint64_t index = u();
            if (!m_textsApart || index >= m_texts.size() || m_textTaken[index]) corrupt();
            m_textTaken[index] = true;
            return Value::string(std::move(m_texts[index]));
        }
        default:
            corrupt();
        }
    }
    std::optional<Value> optValue() {
        if (!b()) return std::nullopt;
        return value();
    }
    std::vector<Qualifier> qualifiers() {
        std::uint64_t n = count();
        std::vector<Qualifier> qs(n);
        for (auto& q : qs) {
            q.name = s();
            q.type = type();
            q.isArray = b();
            q.value = value();
            q.flavors = static_cast<std::uint32_t>(u());
        }
        return qs;
    }
    void feature(Feature& f) {
        f.name = s();
        f.type = type();
        f.isArray = b();
        f.arraySize = static_cast<std::int32_t>(u());
        f.refClass = s();
        f.qualifiers = qualifiers();
    }
    void version(bool textsApartAllowed = false) {
        const std::uint8_t v = byte();
        m_textsApart = textsApartAllowed && v == TextsApartVersion;
        if (v != FormatVersion && !m_textsApart) corrupt();
    }
    void end() const {
        if (m_pos != m_in.size()) corrupt();
    }

  private:
    std::string_view m_in;
    std::size_t m_pos = 0;
    std::string_view m_what;
    std::span<std::string> m_texts;
    std::vector<bool> m_textTaken;
    bool m_textsApart = false;
};

} // namespace

std::string encode(const ClassDef& cls, std::span<const TextApart> apart) {
    Writer w(apart);
    w.byte(apart.empty() ? FormatVersion : TextsApartVersion);
    w.s(cls.name);
    w.s(cls.superclass);
    w.qualifiers(cls.qualifiers);
    w.u(cls.properties.size());
    for (const auto& p : cls.properties) {
        w.feature(p);
        w.optValue(p.defaultValue);
    }
    w.u(cls.methods.size());
    for (const auto& m : cls.methods) {
        w.s(m.name);
        w.byte(static_cast<std::uint8_t>(m.returnType));
        // 2 marks a void method; files written before it existed hold only 0 and 1 here.
        w.byte(m.returnsVoid ? 2 : m.returnIsArray ? 1 : 0);
        w.s(m.returnRefClass);
        w.qualifiers(m.qualifiers);
        w.u(m.parameters.size());
        for (const auto& p : m.parameters)
            w.feature(p);
    }
    // A text said to be kept apart that the encoding never met would be lost.
    if (!w.allApartWritten())
        throw Error(wbem::Failed, "Internal error: a description of class " + cls.name + " was not stored");
    return w.take();
}

bool textsApart(std::string_view classBytes) {
    return !classBytes.empty() && static_cast<std::uint8_t>(classBytes[0]) == TextsApartVersion;
}

ClassDef decodeClass(std::string_view bytes, std::string_view what, std::span<std::string> texts) {
    Reader r(bytes, what, texts);
    r.version(true);
    ClassDef cls;
    cls.name = r.s();
    cls.superclass = r.s();
    cls.qualifiers = r.qualifiers();
    cls.properties.resize(r.count());
    for (auto& p : cls.properties) {
        r.feature(p);
        p.defaultValue = r.optValue();
    }
    cls.methods.resize(r.count());
    for (auto& m : cls.methods) {
        m.name = r.s();
        m.returnType = r.type();
        const std::uint8_t returnShape = r.byte();
        if (returnShape > 2) r.corrupt();
        m.returnIsArray = returnShape == 1;
        m.returnsVoid = returnShape == 2;
        m.returnRefClass = r.s();
        m.qualifiers = r.qualifiers();
        m.parameters.resize(r.count());
        for (auto& p : m.parameters)
            r.feature(p);
    }
    r.end();
    return cls;
}

std::string encode(const QualifierDecl& decl) {
    Writer w;
    w.byte(FormatVersion);
    w.s(decl.name);
    w.byte(static_cast<std::uint8_t>(decl.type));
    w.b(decl.isArray);
    w.u(static_cast<std::uint32_t>(decl.arraySize));
    w.optValue(decl.defaultValue);
    w.u(decl.scopes);
    w.u(decl.flavors);
    return w.take();
}

QualifierDecl decodeQualifierDecl(std::string_view bytes, std::string_view what) {
    Reader r(bytes, what);
    r.version();
    QualifierDecl d;
    d.name = r.s();
    d.type = r.type();
    d.isArray = r.b();
    d.arraySize = static_cast<std::int32_t>(r.u());
    d.defaultValue = r.optValue();
    d.scopes = static_cast<std::uint32_t>(r.u());
    d.flavors = static_cast<std::uint32_t>(r.u());
    r.end();
    return d;
}

std::string encode(const InstanceDef& instance) {
    Writer w;
    w.byte(FormatVersion);
    w.s(instance.className);
    w.qualifiers(instance.qualifiers);
    w.u(instance.properties.size());
    for (const auto& p : instance.properties) {
        w.s(p.name);
        w.value(p.value);
        w.qualifiers(p.qualifiers);
    }
    return w.take();
}

InstanceDef decodeInstance(std::string_view bytes, std::string_view what) {
    Reader r(bytes, what);
    r.version();
    InstanceDef inst;
    inst.className = r.s();
    inst.qualifiers = r.qualifiers();
    inst.properties.resize(r.count());
    for (auto& p : inst.properties) {
        p.name = r.s();
        p.value = r.value();
        p.qualifiers = r.qualifiers();
    }
    r.end();
    return inst;
}

} // namespace morrowlen::repo::codec
