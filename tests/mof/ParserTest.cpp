// The parser: the tree it builds for each production, and its bounds.
#include "repository/mof/Parser.h"
#include "repository/mof/Limits.h"

#include <gtest/gtest.h>

using namespace morrowlen::mof;
using K = ast::ValueNode::Kind;

namespace {

struct Parsed {
    SourceManager sources;
    std::unique_ptr<Diagnostics> diagnostics;
    ast::File file;

    template <typename T> const T& at(std::size_t i) const { return std::get<T>(file.declarations.at(i)); }
};

std::unique_ptr<Parsed> parse(const std::string& text) {
    auto p = std::make_unique<Parsed>();
    p->diagnostics = std::make_unique<Diagnostics>(p->sources, 1000);
    const FileId id = p->sources.add("t.mof", "", text);
    Parser parser(p->sources.file(id), id, *p->diagnostics);
    p->file = parser.parseFile();
    return p;
}

TEST(Parser, ClassWithEveryKindOfFeature) {
    const auto p = parse(R"(
        [Abstract, Description("one " "two"), ValueMap{"1", "2"} : Amended Restricted]
        class Sample_A : Sample_Base {
            [Key] string Name;
            uint8 Data[] = {1, 0x2, 011, 101B};
            real64 Ratio[4];
            Sample_A REF Parent;
            Sample_B Embedded;
            object Anything;
            char16 Letter = 'z';
            uint32 Run([In, Out] string Text, [In] Sample_A REF Target[], uint16 Codes[] = {1});
            string class;
        };)");
    ASSERT_EQ(p->diagnostics->errorCount(), 0u) << p->diagnostics->formatAll();
    const auto& cls = p->at<ast::ClassNode>(0);
    EXPECT_EQ(cls.name.text, "Sample_A");
    EXPECT_EQ(cls.superclass->text, "Sample_Base");
    ASSERT_EQ(cls.qualifiers.size(), 3u);
    EXPECT_EQ(cls.qualifiers[1].value->text, "one two") << "adjacent literals are joined";
    EXPECT_EQ(cls.qualifiers[2].value->kind, K::Array);
    ASSERT_EQ(cls.qualifiers[2].flavors.size(), 2u);
    EXPECT_EQ(cls.qualifiers[2].flavors[1].kind, ast::Flavor::Kind::Restricted);

    ASSERT_EQ(cls.features.size(), 9u);
    const auto& data = cls.features[1];
    EXPECT_EQ(data.array, ast::ArrayKind::Unbounded);
    ASSERT_EQ(data.defaultValue->items.size(), 4u);
    EXPECT_EQ(data.defaultValue->items[1].magnitude, 2u);
    EXPECT_EQ(data.defaultValue->items[2].magnitude, 9u) << "leading zero means octal";
    EXPECT_EQ(data.defaultValue->items[3].magnitude, 5u) << "trailing B means binary";
    EXPECT_EQ(cls.features[2].array, ast::ArrayKind::Fixed);
    EXPECT_EQ(cls.features[2].arraySize, 4);
    EXPECT_EQ(cls.features[3].type.kind, ast::TypeNode::Kind::Reference);
    EXPECT_EQ(cls.features[4].type.kind, ast::TypeNode::Kind::ClassName);
    EXPECT_EQ(cls.features[5].type.kind, ast::TypeNode::Kind::Intrinsic);
    EXPECT_EQ(cls.features[6].defaultValue->magnitude, static_cast<std::uint64_t>('z'));
    const auto& run = cls.features[7];
    EXPECT_EQ(run.kind, ast::FeatureNode::Kind::Method);
    ASSERT_EQ(run.parameters.size(), 3u);
    EXPECT_EQ(run.parameters[0].qualifiers.size(), 2u);
    EXPECT_EQ(run.parameters[1].type.kind, ast::TypeNode::Kind::Reference);
    EXPECT_EQ(run.parameters[1].array, ast::ArrayKind::Unbounded);
    EXPECT_EQ(cls.features[8].name.text, "class") << "keywords serve as names";
}

TEST(Parser, QualifierDeclarationsFullAndFlavorOnly) {
    const auto p = parse(R"(
        Qualifier MaxLen : uint32 = null, Scope(property, method, parameter);
        Qualifier Values : string[] = {"a"}, Scope(any), Flavor(EnableOverride, ToSubclass, Translatable);
        Qualifier Description : ToSubclass Amended;)");
    ASSERT_EQ(p->diagnostics->errorCount(), 0u) << p->diagnostics->formatAll();
    const auto& maxLen = p->at<ast::QualifierDeclNode>(0);
    EXPECT_EQ(maxLen.type->name.text, "uint32");
    EXPECT_EQ(maxLen.defaultValue->kind, K::Null);
    EXPECT_EQ(maxLen.scopes.size(), 3u);
    const auto& values = p->at<ast::QualifierDeclNode>(1);
    EXPECT_EQ(values.array, ast::ArrayKind::Unbounded);
    EXPECT_EQ(values.flavors.size(), 3u);
    const auto& description = p->at<ast::QualifierDeclNode>(2);
    EXPECT_FALSE(description.type.has_value());
    ASSERT_EQ(description.flavors.size(), 2u);
    EXPECT_EQ(description.flavors[1].kind, ast::Flavor::Kind::Amended);
}

TEST(Parser, InstancesPragmasAndValues) {
    const auto p = parse(R"(
        #pragma namespace ("\\\\.\\root\\cimv2")
        #pragma deleteclass("Old", NOFAIL)
        #pragma autorecover
        instance of Sample_A as $First {
            Name = "x";
            List = {};
            Ref = $Other;
            Neg = -9223372036854775808;
            Big = 18446744073709551615;
            Nothing = NULL;
            [Note("q")] Flag = TRUE;
        };)");
    ASSERT_EQ(p->diagnostics->errorCount(), 0u) << p->diagnostics->formatAll();
    const auto& ns = p->at<ast::PragmaNode>(0);
    EXPECT_EQ(ns.arguments.at(0).text, "\\\\.\\root\\cimv2");
    const auto& del = p->at<ast::PragmaNode>(1);
    ASSERT_EQ(del.arguments.size(), 2u);
    EXPECT_EQ(del.arguments[1].text, "NOFAIL");
    EXPECT_TRUE(p->at<ast::PragmaNode>(2).arguments.empty());
    const auto& inst = p->at<ast::InstanceNode>(3);
    EXPECT_EQ(inst.alias->text, "$First");
    ASSERT_EQ(inst.properties.size(), 7u);
    EXPECT_EQ(inst.properties[1].value.kind, K::Array);
    EXPECT_TRUE(inst.properties[1].value.items.empty());
    EXPECT_EQ(inst.properties[2].value.kind, K::Alias);
    EXPECT_EQ(inst.properties[2].value.text, "Other");
    EXPECT_TRUE(inst.properties[3].value.negative);
    EXPECT_EQ(inst.properties[3].value.magnitude, 9223372036854775808ull);
    EXPECT_EQ(inst.properties[4].value.magnitude, UINT64_MAX);
    EXPECT_EQ(inst.properties[5].value.kind, K::Null);
    EXPECT_EQ(inst.properties[6].qualifiers.size(), 1u);
}

TEST(Parser, IntegerBeyondSixtyFourBitsIsAnError) {
    const auto p = parse("instance of A { X = 18446744073709551616; };");
    EXPECT_EQ(p->diagnostics->errorCount(), 1u);
}

TEST(Parser, BrokenMemberDoesNotLoseTheRestOfTheClass) {
    const auto p = parse("class A {\n string X;\n uint32 = 5;\n string Y;\n};\nclass B { };");
    EXPECT_EQ(p->diagnostics->errorCount(), 1u) << p->diagnostics->formatAll();
    ASSERT_EQ(p->file.declarations.size(), 2u);
    const auto& a = p->at<ast::ClassNode>(0);
    ASSERT_EQ(a.features.size(), 2u);
    EXPECT_EQ(a.features[1].name.text, "Y");
}

TEST(Parser, StrayTokensAtTopLevelResynchroniseAtTheNextDeclaration) {
    const auto p = parse("} ] ) ;\nclass A { };\n= = class B { };\n#pragma locale(\"en_US\")");
    EXPECT_EQ(p->file.declarations.size(), 3u) << p->diagnostics->formatAll();
    EXPECT_EQ(p->diagnostics->errorCount(), 2u) << p->diagnostics->formatAll();
}

TEST(Parser, ClassMissingItsEndIsReportedBeforeTheNextClass) {
    const auto p = parse("class A {\n string X;\n\nclass B { };");
    EXPECT_GE(p->diagnostics->errorCount(), 1u);
    EXPECT_EQ(std::get<ast::ClassNode>(p->file.declarations.back()).name.text, "B");
}

TEST(Parser, QualifiersPerElementAreBoundedAtTheLimit) {
    const auto list = [](std::size_t n) {
        std::string s = "[";
        for (std::size_t i = 0; i < n; ++i)
            s += (i ? ",Q" : "Q") + std::to_string(i);
        return s + "] class A { };";
    };
    EXPECT_EQ(parse(list(limits::MaxQualifiersPerElement))->diagnostics->errorCount(), 0u);
    EXPECT_EQ(parse(list(limits::MaxQualifiersPerElement + 1))->diagnostics->errorCount(), 1u);
}

TEST(Parser, ArrayElementsAreBoundedAtTheLimit) {
    const auto array = [](std::size_t n) {
        std::string s = "instance of A { X = {";
        for (std::size_t i = 0; i < n; ++i)
            s += i ? ",1" : "1";
        return s + "}; };";
    };
    EXPECT_EQ(parse(array(limits::MaxArrayElements))->diagnostics->errorCount(), 0u);
    EXPECT_EQ(parse(array(limits::MaxArrayElements + 1))->diagnostics->errorCount(), 1u);
}

TEST(Parser, NestedArraysAreRefused) {
    EXPECT_EQ(parse("instance of A { X = {{1}}; };")->diagnostics->errorCount(), 1u);
}

TEST(Parser, ErrorCapStopsParsing) {
    std::string text;
    for (int i = 0; i < 500; ++i)
        text += "class ;\n";
    SourceManager sources;
    Diagnostics diagnostics(sources, 10);
    const FileId id = sources.add("t.mof", "", text);
    Parser(sources.file(id), id, diagnostics).parseFile();
    EXPECT_TRUE(diagnostics.limitReached());
    EXPECT_EQ(diagnostics.all().size(), 10u);
    EXPECT_NE(diagnostics.formatAll().find("too many errors"), std::string::npos);
}

TEST(Diagnostics, FormatShowsLineAndCaretUnderTheColumnWithTabsKept) {
    SourceManager sources;
    Diagnostics diagnostics(sources, 10);
    const FileId id = sources.add("dir/f.mof", "", "class A\n{\n\tstring\tBad Name;\n};");
    diagnostics.error(Phase::Semantic, {id, 18}, 3, "something is wrong");
    EXPECT_EQ(diagnostics.formatAll(),
              "dir/f.mof:3:9: error: something is wrong\n\tstring\tBad Name;\n\t      \t^~~\n");
}

} // namespace
