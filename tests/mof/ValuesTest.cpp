// Value conversion and flavors on their own: a diagnostics sink is all they need.
#include "repository/mof/Values.h"
#include "repository/mof/Parser.h"
#include "repository/mof/Qualifiers.h"

#include <gtest/gtest.h>

using namespace morrowlen;
using namespace morrowlen::mof;
using repo::CimType;
using repo::Value;

namespace {

struct Sink {
    SourceManager sources;
    Diagnostics diagnostics{sources, 100};
};

ast::ValueNode literal(ast::ValueNode::Kind kind, std::uint64_t magnitude = 0, bool negative = false,
                       std::uint8_t base = 10) {
    ast::ValueNode v;
    v.kind = kind;
    v.magnitude = magnitude;
    v.negative = negative;
    v.base = base;
    return v;
}

TEST(Values, IntegersAreCheckedAgainstTheirType) {
    using K = ast::ValueNode::Kind;
    struct Case {
        ast::ValueNode value;
        CimType type;
        std::optional<Value> expected; // nullopt: refused
    };
    ast::ValueNode text = literal(K::String);
    text.text = "20240102030405.000000+060";
    ast::ValueNode badDate = text;
    badDate.text = "yesterday";
    const Case cases[] = {
        {literal(K::Integer, 255), CimType::UInt8, Value::uint(255)},
        {literal(K::Integer, 256), CimType::UInt8, std::nullopt},
        {literal(K::Integer, 1, true), CimType::UInt32, std::nullopt},
        {literal(K::Integer, 128, true), CimType::SInt8, Value::sint(-128)},
        {literal(K::Integer, 0x80, false, 16), CimType::SInt8, Value::sint(-128)},
        {literal(K::Integer, 128), CimType::SInt8, std::nullopt},
        {literal(K::Integer, 7), CimType::Real64, Value::real(7)},
        {literal(K::Integer, 7), CimType::String, std::nullopt},
        {literal(K::Boolean), CimType::UInt32, std::nullopt},
        {text, CimType::DateTime, Value::string(text.text)},
        {badDate, CimType::DateTime, std::nullopt},
    };
    for (const Case& c : cases) {
        Sink sink;
        ValueConverter converter(sink.diagnostics, nullptr);
        Value out;
        const bool ok = converter.convertValue(c.value, c.type, false, false, out);
        EXPECT_EQ(ok, c.expected.has_value()) << repo::cimTypeName(c.type) << " " << c.value.magnitude;
        EXPECT_EQ(sink.diagnostics.hasErrors(), !ok);
        if (ok && c.expected) EXPECT_EQ(out, *c.expected);
    }
}

TEST(Values, DatetimesAreCheckedFieldByField) {
    const std::pair<const char*, const char*> cases[] = {
        // text, expected in the problem ("" for valid)
        {"20240229235959.999999+060", ""},
        {"2024****000000.000000-000", ""},
        {"00012345235959.000000:000", ""},
        {"20241301000000.000000+000", "month 13"},
        {"20240100000000.000000+000", "day 00"},
        {"20240231000000.000000+000", "day 31"},
        {"20230229000000.000000+000", "day 29 is out of range (1 to 28)"},
        {"20240101250000.000000+000", "hour 25"},
        {"20240101006000.000000+000", "minute 60"},
        {"00000001240000.000000:000", "hour 24"},
        {"00000001000000.000000:060", "':000'"},
        {"2024010100000.0000000+000", "not a datetime"},
    };
    for (const auto& [text, expected] : cases) {
        const std::string problem = mof::dateTimeProblem(text);
        if (*expected == '\0')
            EXPECT_EQ(problem, "") << text;
        else
            EXPECT_NE(problem.find(expected), std::string::npos) << text << ": " << problem;
    }
}

TEST(Values, AliasesComeFromTheLookup) {
    Sink sink;
    const std::string path = "K.Id=\"a\"";
    ValueConverter converter(sink.diagnostics,
                             [&](std::string_view name) { return name == "known" ? &path : nullptr; });
    ast::ValueNode alias = literal(ast::ValueNode::Kind::Alias);
    alias.text = "known";
    repo::Value out;
    EXPECT_TRUE(converter.convertValue(alias, CimType::Reference, false, false, out));
    EXPECT_EQ(out, Value::string(path));
    alias.text = "unknown";
    EXPECT_FALSE(converter.convertValue(alias, CimType::Reference, false, false, out));
}

TEST(Flavors, WrittenFlavorsApplyOverDefaultsAndConflictsAreRefused) {
    using F = ast::Flavor::Kind;
    using namespace repo::flavor;
    struct Case {
        std::vector<F> written;
        std::uint32_t from;
        std::optional<std::uint32_t> expected;
    };
    const Case cases[] = {
        {{}, Default, Default},
        {{F::Restricted}, Default, 0u},
        {{F::DisableOverride, F::ToSubclass}, 0, ToSubclass | DisableOverride},
        {{F::Amended, F::Translatable}, Default, Default | Amended | Translatable},
        {{F::EnableOverride}, DisableOverride | ToSubclass, ToSubclass},
        {{F::ToSubclass, F::Restricted}, Default, std::nullopt},
        {{F::EnableOverride, F::DisableOverride}, Default, std::nullopt},
    };
    for (const Case& c : cases) {
        Sink sink;
        std::vector<ast::Flavor> flavors;
        for (F f : c.written)
            flavors.push_back({f, {}});
        std::uint32_t bits = c.from;
        EXPECT_EQ(applyFlavors(flavors, bits, sink.diagnostics), c.expected.has_value());
        if (c.expected) EXPECT_EQ(bits, *c.expected);
    }
    EXPECT_EQ(wellKnownFlavors("KEY"), ToSubclass | DisableOverride);
    EXPECT_EQ(wellKnownFlavors("Abstract"), 0u);
    EXPECT_EQ(wellKnownFlavors("Description"), Default);
}

} // namespace
