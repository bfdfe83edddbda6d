// The tree printer and the change report printer on the demo's example and edits, and the value texts.

#include "Demo.hpp"
#include "ReportPrinter.hpp"
#include "ValueText.hpp"

#include <fenmo/Reflection.hpp>

#include <gtest/gtest.h>

#include <regex>

namespace arvelle::tools {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Printer, TreeAlignsIndicesNamesAndAttributesAndColourOnlyWrapsText) {
    Demo demo;
    const std::string plain = demo.tree(Style(false));
    for (const char* lines :
         {"CruiseControl            busTypeRoot     checksum=3f9a1c07\n",
          "├─ 1 Inputs              busTypeElement  dataType=\"Bus: AccInputs\"\n",
          "│     │                  msgQueue        useDefaultAttrs=false queueCapacity=16\n"
          "│     │                                  queueType=Q_TYPE_FIFO queueOverwriting=true\n",
          "      └─ 2 WheelSpdOk    signal          dataType=boolean\n"})
        EXPECT_TRUE(contains(plain, lines)) << lines << plain;

    const std::string coloured = demo.tree(Style(true));
    EXPECT_NE(coloured, plain);
    EXPECT_EQ(std::regex_replace(coloured, std::regex("\x1b\\[[0-9;]*m"), ""), plain);
}

TEST(Printer, ReportsOfTheDemoEditsShowWhatChangedByName) {
    Demo demo;
    std::string all, swap;
    for (const Demo::Edit& edit : Demo::story()) {
        std::string text = printReport(demo.apply(edit), demo.names(), Style(false));
        if (edit.title.starts_with("Swap")) swap = text;
        all += text;
    }
    // A rename; a move, out of one bus and into the other; a swap, by its net changes only; a retype; a
    // destruction, naming what is gone by what was remembered before.
    for (const char* part :
         {"~ CruiseControl/Outputs/Engaged [childAttrs]\n      name  Active → Engaged\n",
          "attrsOfParent  CruiseControl/Inputs/Vehicle [parentAttrs] → CruiseControl/State",
          "~ CruiseControl/Inputs/Vehicle [parentAttrs]\n      children         − LongAccel\n",
          "~ CruiseControl/State [parentAttrs]\n      children         + LongAccel\n",
          "children         reordered: TargetSpeed, Mode, SpeedError, Integrator, LongAccel\n",
          "~ CruiseControl/State/Mode [childAttrs]\n      indexOne  1 → 2\n",
          "~ CruiseControl/Inputs/Radar/TargetDist [signalAttrs]\n      dataType  single → double\n",
          "  − CruiseControl/Diagnostics/SensorHealth/WheelSpdOk  node, childAttrs, signalAttrs\n",
          "children         − Diagnostics\n"})
        EXPECT_TRUE(contains(all, part)) << part << all;
    EXPECT_FALSE(contains(swap, "0")) << "the intermediate index is no change: " << swap;
}

TEST(ValueText, QuotesWhatIsNotOneWordAndWritesValuesAsTheirSerializersDo) {
    EXPECT_EQ(quoteIfNeeded(""), "\"\"");
    EXPECT_EQ(quoteIfNeeded("Bus: A"), "\"Bus: A\"");
    EXPECT_EQ(quoteIfNeeded("a\"b\\c"), "\"a\\\"b\\\\c\"");
    const ElementNames names;
    auto* block = reinterpret_cast<TAVBlock*>(std::uintptr_t{0x1a2b});
    EXPECT_EQ(valueText(::fenmo::Value::ofPointer(tn::schema::nativeTypes::TavBlockPtr(), block), names),
              "0x0000000000001a2b");
    EXPECT_EQ(valueText(::fenmo::Value::ofEnum(tn::schema::Complexity::type(), 2), names), "COMPLEX");
    EXPECT_EQ(valueText(::fenmo::Value(tn::schema::Virtuality::type(), boost::none), names), "(none)");

    // A set of host pointers, in address order.
    ::fenmo::Model model = ::fenmo::Model::create();
    tn::BlockAttributes::Builder builder(model);
    builder.addTavBlocks({reinterpret_cast<TAVBlock*>(std::uintptr_t{0x20}),
                          reinterpret_cast<TAVBlock*>(std::uintptr_t{0x10})});
    ::fenmo::Value blocks = ::fenmo::Reflection().get(builder.createBlockAttributes(::fenmo::uuid()),
                                                      tn::schema::BlockAttributes::tavBlocks());
    EXPECT_EQ(valueText(blocks, names), "{0x0000000000000010, 0x0000000000000020}");
}

}  // namespace
}  // namespace arvelle::tools
