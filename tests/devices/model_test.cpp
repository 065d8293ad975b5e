// The parameter model: the pending-text rule, the look-ups, the type and access-level tables,
// and archive descriptors.
#include <gtest/gtest.h>

#include "devices/parameter_model.h"

namespace zb::devices {
namespace {

TVar* AddVar(TNodeEntry& parent, const std::string& title, uint32_t vid = 0) {
    auto* var = parent.NewChild<TVar>();
    var->SetTitle(title);
    var->SetVID(vid);
    return var;
}

TEST(ParameterModel, PendingTextKeepsTheLineCount) {
    TVar var;
    var.SetOpRes("DONE");
    var.SetText("1\r\n2\r\n3\r\n");
    EXPECT_EQ(var.OpRes(), "DONE");  // an ordinary text leaves the result alone
    var.SetText("***");
    EXPECT_EQ(var.Text(), "***\r\n\r\n\r\n");
    EXPECT_EQ(var.OpRes(), "***");

    var.SetText("one line without break");
    var.SetText("***");
    EXPECT_EQ(var.Text(), "***\r\n");
}

TEST(ParameterModel, LookUpsAreDepthFirstAndClassExact) {
    TTreeEntry root;
    auto* header = root.NewChild<TVarHeader>();
    header->SetTitle("0001.Energy");  // never matches a variable look-up
    auto* group = header->NewChild<TVarHeader>();
    TVar* deep = AddVar(*group, "0001.Energy", 0x00010002);
    AddVar(root, "0001.Energy", 0x00010002);
    auto* arch = root.NewChild<TArch>();
    arch->SetTitle("0001.Arch");
    arch->SetVID(0x00010099);

    EXPECT_EQ(FindVarByTitle(root, "0001.Energy"), deep);
    EXPECT_EQ(FindVarByVID(root, 0x00010002), deep);
    EXPECT_EQ(FindVarByTitle(root, "0001.energy"), nullptr);  // titles compare exactly
    EXPECT_EQ(FindVarByTitle(root, "0001.Arch"), nullptr);    // a TArch is not a TVar
    EXPECT_EQ(FindVarByVID(root, 0x00010099), nullptr);
}

TEST(ParameterModel, TypeCodesOutsideTheTableNeverWrapIntoIt) {
    const std::pair<int, const char*> names[] = {
        {0x14, "frame/byte4"}, {0x15, "unknown"}, {0x129, "unknown"}, {-1, "unknown"}};
    for (const auto& [code, name] : names) {
        EXPECT_EQ(TypeName(code), name) << code;
    }
    EXPECT_TRUE(IsFunctionType(0x60) && IsFunctionType(0x68));
    EXPECT_FALSE(IsFunctionType(0x50) || IsFunctionType(0x160));
    EXPECT_EQ(AccessModeOfLevel(int64_t{1} << 40), -1);
}

TEST(ArchiveDescriptor, RecordsGiveTheTextAndBadInputWhatWasRead) {
    // Header words "00000100" (tag 0, one word) and "01000100" (tag 1, one word), little-endian.
    const std::pair<std::string, const char*> cases[] = {
        // IMAX; 1 day, offset -3 hours / IMIN; 15 minutes, +2 hours / D without interval
        {"00000100A0050005 01000100 020101FD", "0/1440, IMAX [1 сут] -3 час"},
        {"00000100A0050004 01000100 000F0102", "0/1440, IMIN [15 мин] +2 час"},
        {"00000100A0050001", "0/1440, D"},
        // top bit is the flag, not part of the type; depth is 24 bits
        {"00000100 FFFFFF83", "0/16777215, LOG"},
        // the record claims 5 words but only 1 follows: nothing of it is read
        {"00000500 A0050000", "0/0 [0 мин]"},
        // an unknown tag stops the reading; the interval record after it is not read
        {"00000100A0050000 07000100 11111111 01000100 001E0000", "0/1440 [0 мин]"},
        // a type or unit outside the tables gives the counts alone
        {"00000100A0050006", "0/1440"},
        {"00000100A0050000 01000100 061E0000", "0/1440"},
        // longer than 256 bytes: read up to 256 bytes without overrunning
        {"0000FF00" + std::string(2000, 'A'), "0/0 [0 мин]"}};
    for (const auto& [hex, text] : cases) {
        TArch arch;
        arch.ReadDescriptor(hex);
        EXPECT_EQ(arch.PropertyStr(), text) << hex;
    }
}

}  // namespace
}  // namespace zb::devices
