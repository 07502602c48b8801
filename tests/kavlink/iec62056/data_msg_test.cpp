// Data sets split by value, the data message object, and PickDataMsg of readout texts.
#include "iec62056/data_msg.h"

#include <gtest/gtest.h>

#include "com/com_ptr.h"
#include "iec62056/data_sets.h"
#include "iec62056/zr_iec62056_21.h"
#include "text/ansi.h"

using namespace kavlink;
using namespace std::string_literals;
using zr::com::Bstr;
using zr::com::ComPtr;

namespace {

struct Set {
  std::string group, di, value, unit;
  bool operator==(const Set&) const = default;
};

std::vector<Set> setsOf(const iec::DataSets& d) {
  std::vector<Set> out;
  for (size_t i = 0, v = 0; i < d.groups.size(); ++i) {
    if (d.kinds[i] != 0) continue;
    out.push_back({d.groups[i], d.dis[v], d.values[v], d.units[v]});
    ++v;
  }
  return out;
}

Bstr wide(const std::string& s) { return Bstr(zr::text::ansiToWide(s)); }

std::string text(BSTR b) { return zr::text::wideToAnsi(zr::com::bstrView(b)); }

}  // namespace

TEST(IecDataSets, SplittingByValue) {
  struct Row {
    std::string line;
    bool ok;
    std::vector<Set> sets;
  } rows[] = {
      {"1.8.0(001234.5*kWh)", true, {{"1.8.0(001234.5*kWh)", "1.8.0", "001234.5", "kWh"}}},
      {"0.9.1(12:30:45)", true, {{"0.9.1(12:30:45)", "0.9.1", "12:30:45", ""}}},
      {"C.1.0(12345678)(ABC)", true, {{"C.1.0(12345678)", "C.1.0", "12345678(ABC)", ""}}},
      {"1.8.1(5*kWh)1.8.2(6*kWh)",
       true,
       {{"1.8.1(5*kWh)", "1.8.1", "5", "kWh"}, {"1.8.2(6*kWh)", "1.8.2", "6", "kWh"}}},
      {"F.F", true, {}},
      {"(12)", false, {}},
      {"a)b(c)", true, {{"a)", "a)b", "", ""}, {"b(c)", "b", "c", ""}}},
      {" 1 ( 2 * k W ) tail", true, {{" 1 ( 2 * k W )", " 1 ", " 2 ", " k W "}}},
      {"1(2*3*4)", true, {{"1(2*3*4)", "1", "2", "3*4"}}},
      {"1(2)(3*x)", true, {{"1(2)", "1", "2(3*x)", ""}}},
  };
  for (const Row& r : rows) {
    iec::DataSets d;
    EXPECT_EQ(iec::splitDataSets(r.line, d), r.ok) << r.line;
    EXPECT_EQ(setsOf(d), r.sets) << r.line;
    // One kind per group, whatever the line held.
    EXPECT_EQ(d.kinds.size(), d.groups.size()) << r.line;
  }
}

TEST(IecDataSets, ContinuationFailsOnlyBeforeAnyValueAndKeepsEarlierSets) {
  iec::DataSets d;
  ASSERT_TRUE(iec::splitDataSets("1(2)", d));
  EXPECT_TRUE(iec::splitDataSets("(3)", d));
  EXPECT_EQ(d.values, std::vector<std::string>{"2(3)"});
  iec::DataSets e;
  EXPECT_FALSE(iec::splitDataSets("(1)x(2)", e));
  EXPECT_TRUE(e.groups.empty());
}

TEST(IecReadoutLines, FormAndLines) {
  std::vector<std::string> lines;
  auto collect = [&](std::string_view l) {
    lines.emplace_back(l);
    return true;
  };
  EXPECT_FALSE(iec::forEachReadoutLine("abc", collect));
  EXPECT_FALSE(
      iec::forEachReadoutLine("\x02"
                              "1\x03"s,
                              collect));  // under 5 bytes
  EXPECT_FALSE(
      iec::forEachReadoutLine("\x02"
                              "1(2)\r\n"s,
                              collect));
  EXPECT_TRUE(
      iec::forEachReadoutLine("\x02"
                              "1(2)\r\n3(4)\x04X5(6)\r\n!\r\n\x03"s,
                              collect));
  // The byte after EOT is its BCC and is skipped; "!" and CR never reach a line.
  EXPECT_EQ(lines, (std::vector<std::string>{"1(2)", "3(4)", "5(6)"}));
}

class DataMsgObject : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CDataMsg::createInstance(nullptr, IDataMsg::iid, dm.putVoid()), S_OK); }
  LONG count() {
    LONG n = -1;
    dm->GetCount(&n);
    return n;
  }
  ComPtr<IDataMsg> dm;
};

TEST_F(DataMsgObject, AddBlockGetAndRanges) {
  ASSERT_EQ(dm->Add(wide("1.8.0(001234.5*kWh)").get()), S_OK);
  ASSERT_EQ(dm->AddBlock(wide("ABC").get()), S_OK);
  EXPECT_EQ(count(), 2);
  Bstr s;
  ASSERT_EQ(dm->GetGroup(1, s.put()), S_OK);
  EXPECT_EQ(text(s.get()), "ABC");
  EXPECT_EQ(dm->GetDI(1, s.put()), E_INVALIDARG);
  EXPECT_EQ(s.get(), nullptr);
  EXPECT_EQ(dm->GetValue(-1, s.put()), E_INVALIDARG);
  ASSERT_EQ(dm->GetUnit(0, s.put()), S_OK);
  EXPECT_EQ(text(s.get()), "kWh");
  EXPECT_EQ(dm->Add(wide("F.F").get()), S_OK);
  EXPECT_EQ(count(), 2);
  iec::DataSets* lists = dataMsgLists(dm.get());
  ASSERT_NE(lists, nullptr);
  EXPECT_EQ(lists->kinds, (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(dm->Clear(), S_OK);
  EXPECT_EQ(count(), 0);
  ComPtr<IDataMsg> empty;
  ASSERT_EQ(CDataMsg::createInstance(nullptr, IDataMsg::iid, empty.putVoid()), S_OK);
  EXPECT_EQ(empty->Add(wide("(12)").get()), E_INVALIDARG);
}

TEST(IecPickDataMsg, FiftyDataSetsAndTextsOfOtherForms) {
  ComPtr<IZrIEC62056_21> control;
  ASSERT_EQ(CZrIEC62056_21::createInstance(nullptr, IZrIEC62056_21::iid, control.putVoid()), S_OK);
  std::string readout = "\x02";
  for (int i = 0; i < 50; ++i) readout += "1.8." + std::to_string(i) + "(" + std::to_string(1000 + i) + ".5*kWh)\r\n";
  readout += "!\r\n\x03";  // as DataReadout hands it on: without its BCC
  ComPtr<IDataMsg> dm;
  ASSERT_EQ(control->PickDataMsg(wide(readout).get(), dm.put()), S_OK);
  ASSERT_TRUE(dm);
  LONG n = 0;
  dm->GetCount(&n);
  ASSERT_EQ(n, 50);
  for (LONG i = 0; i < 50; ++i) {
    Bstr di, value, unit;
    ASSERT_EQ(dm->GetDI(i, di.put()), S_OK);
    ASSERT_EQ(dm->GetValue(i, value.put()), S_OK);
    ASSERT_EQ(dm->GetUnit(i, unit.put()), S_OK);
    EXPECT_EQ(text(di.get()), "1.8." + std::to_string(i));
    EXPECT_EQ(text(value.get()), std::to_string(1000 + i) + ".5");
    EXPECT_EQ(text(unit.get()), "kWh");
  }

  ComPtr<IDataMsg> none;
  EXPECT_EQ(control->PickDataMsg(wide("abc").get(), none.put()), S_OK);
  EXPECT_FALSE(none);
  EXPECT_EQ(control->PickDataMsg(wide("\x02(12)\r\n\x03"s).get(), none.put()), E_INVALIDARG);
  EXPECT_FALSE(none);
  ASSERT_EQ(control->PickDataMsg(wide("\x02"
                                      "1.8.0(001234.5*kWh)\r\n!\r\n\x03"s)
                                     .get(),
                                 none.put()),
            S_OK);
  ASSERT_TRUE(none);
  none->GetCount(&n);
  EXPECT_EQ(n, 1);
}
