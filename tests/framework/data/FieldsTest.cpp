// Tests of fields.

#include <gtest/gtest.h>

#include <functional>

#include "DataTestSupport.h"
#include "framework/data/FormatSettings.h"

namespace tessel {
namespace {

using engine::FieldDesc;
using engine::Value;
namespace t = engine::fldtype;
namespace s = engine::fldsub;

// One field of every kind the engine reports, in one record.
std::unique_ptr<test::MemoryDataSet> AllKinds() {
    std::vector<FieldDesc> fields = {
        FieldDesc::Make("S", t::kString, 0, 5),
        FieldDesc::Make("I16", t::kInt16),
        FieldDesc::Make("I32", t::kInt32),
        FieldDesc::Make("AUTO", t::kInt32, s::kAutoInc),
        FieldDesc::Make("F", t::kFloat),
        FieldDesc::Make("M", t::kFloat, s::kMoney),
        FieldDesc::Make("N", t::kBcd, 0, 6, 2),
        FieldDesc::Make("B", t::kBool),
        FieldDesc::Make("D", t::kDate),
        FieldDesc::Make("T", t::kTime),
        FieldDesc::Make("TS", t::kTimestamp),
        FieldDesc::Make("BY", t::kBytes, 0, 4),
        FieldDesc::Make("MEMO", t::kBlob, s::kMemo, 10),
        FieldDesc::Make("PIC", t::kBlob, s::kGraphic, 10),
        FieldDesc::Make("BIN", t::kBlob, s::kBinary, 10),
    };
    return std::make_unique<test::MemoryDataSet>(fields, std::vector<engine::Record>{engine::Record(fields.size())});
}

std::string Message(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(Fields, KindsWidthsAndAlignment) {
    auto ds = AllKinds();
    ds->Open();
    struct Row {
        const char* name;
        TFieldType type;
        int width;
        TAlignment alignment;
    };
    using A = TAlignment;
    using T = TFieldType;
    const Row rows[] = {
        {"S", T::ftString, 5, A::taLeftJustify},      {"I16", T::ftSmallint, 10, A::taRightJustify},
        {"I32", T::ftInteger, 10, A::taRightJustify}, {"AUTO", T::ftAutoInc, 10, A::taRightJustify},
        {"F", T::ftFloat, 10, A::taRightJustify},     {"M", T::ftCurrency, 10, A::taRightJustify},
        {"N", T::ftBCD, 7, A::taRightJustify},        {"B", T::ftBoolean, 5, A::taLeftJustify},
        {"D", T::ftDate, 10, A::taLeftJustify},       {"T", T::ftTime, 10, A::taLeftJustify},
        {"TS", T::ftDateTime, 18, A::taLeftJustify},  {"BY", T::ftBytes, 10, A::taLeftJustify},
        {"MEMO", T::ftMemo, 10, A::taLeftJustify},    {"PIC", T::ftGraphic, 10, A::taLeftJustify},
        {"BIN", T::ftBlob, 10, A::taLeftJustify},
    };
    ASSERT_EQ(ds->FieldCount(), static_cast<int>(std::size(rows)));
    for (const auto& r : rows) {
        TField& f = ds->FieldByName(r.name);
        EXPECT_EQ(f.DataType(), r.type) << r.name;
        EXPECT_EQ(f.DisplayWidth(), r.width) << r.name;
        EXPECT_EQ(f.Alignment(), r.alignment) << r.name;
        EXPECT_EQ(f.DisplayLabel(), r.name);
        EXPECT_TRUE(f.Visible());
    }
    EXPECT_TRUE(ds->FieldByName("AUTO").ReadOnly());
    EXPECT_FALSE(ds->FieldByName("I32").ReadOnly());
    EXPECT_TRUE(ds->FieldByName("MEMO").IsBlob());
    EXPECT_FALSE(ds->FieldByName("BY").IsBlob());

    TField& name = ds->FieldByName("S");
    name.SetDisplayWidth(12);
    name.SetDisplayLabel("Short~name");
    EXPECT_EQ(name.DisplayWidth(), 12);
    EXPECT_EQ(name.DisplayLabel(), "Short~name");
    name.SetDisplayWidth(0);  // back to the default of its kind
    EXPECT_EQ(name.DisplayWidth(), 5);
}

// Text typed into a field and what the field then shows.
TEST(Fields, TextInAndOut) {
    struct Case {
        const char* field;
        const char* typed;
        const char* display;  // nullptr: same as edit
        const char* edit;
    };
    const Case cases[] = {
        {"S", "abc", nullptr, "abc"},
        {"S", "äöüßé", nullptr, "äöüßé"},  // five characters, ten bytes
        {"I16", " -32768 ", nullptr, "-32768"},
        {"I32", "2147483647", nullptr, "2147483647"},
        {"F", "1234.5", nullptr, "1234.5"},
        {"F", "0.1", nullptr, "0.1"},
        {"F", "1e20", nullptr, "1E20"},
        {"M", "-1234.5", "($1,234.50)", "-1234.5"},
        {"M", "$12", "$12.00", "12"},
        {"N", "12.3", nullptr, "12.30"},
        {"N", "-0.05", nullptr, "-0.05"},
        {"B", "t", "True", "True"},
        {"B", "FALSE", "False", "False"},
        {"D", "1/15/1998", nullptr, "1/15/1998"},
        {"D", "1998-01-15", nullptr, "1/15/1998"},
        {"D", "2/29/2000", nullptr, "2/29/2000"},
        {"D", "3/4/05", nullptr, "3/4/2005"},
        {"D", "3/4/75", nullptr, "3/4/1975"},
        {"T", "15:04:05", "3:04:05 PM", "3:04:05 PM"},
        {"T", "12:00 am", "12:00:00 AM", "12:00:00 AM"},
        {"TS", "1/15/1998 3:04:05 PM", nullptr, "1/15/1998 3:04:05 PM"},
        {"TS", "1998-01-15 15:04", nullptr, "1/15/1998 3:04:00 PM"},
        {"TS", "1/15/1998", nullptr, "1/15/1998"},
        {"MEMO", "line one\r\nline two", "(MEMO)", "line one\r\nline two"},
        {"S", "", nullptr, ""},
        {"I32", "", nullptr, ""},
    };
    for (const auto& c : cases) {
        auto ds = AllKinds();
        ds->Open();
        ds->Edit();
        TField& f = ds->FieldByName(c.field);
        f.SetText(c.typed);
        EXPECT_EQ(f.EditText(), c.edit) << c.field << " <- " << c.typed;
        EXPECT_EQ(f.DisplayText(), c.display ? c.display : c.edit) << c.field << " <- " << c.typed;
    }
}

TEST(Fields, BadTextIsRefusedWithTheFieldsName) {
    struct Case {
        const char* field;
        const char* typed;
        const char* message;
    };
    const Case cases[] = {
        {"S", "abcdef", "Value of field 'S' is too long: 6 characters, at most 5 fit"},
        {"I16", "40000", "40000 is not a valid value for field 'I16'. The allowed range is -32768 to 32767"},
        {"I16", "12a", "'12a' is not a valid integer value for field 'I16'"},
        {"I32", "3000000000",
         "3000000000 is not a valid value for field 'I32'. The allowed range is -2147483648 to "
         "2147483647"},
        {"I32", "1.5", "'1.5' is not a valid integer value for field 'I32'"},
        {"F", "1,5", "'1,5' is not a valid floating point value for field 'F'"},
        {"F", "nan", "'nan' is not a valid floating point value for field 'F'"},
        {"N", "12.345", "'12.345' has more than 2 decimals, which field 'N' holds"},
        {"N", "12345.6", "'12345.60' is not a valid value for field 'N': it has more than 6 digits"},
        {"B", "maybe", "'maybe' is not a valid boolean value for field 'B'"},
        {"D", "2/30/1998", "'2/30/1998' is not a valid date for field 'D'"},
        {"D", "13/1/1998", "'13/1/1998' is not a valid date for field 'D'"},
        {"D", "yesterday", "'yesterday' is not a valid date for field 'D'"},
        {"T", "25:00", "'25:00' is not a valid time for field 'T'"},
        {"TS", "1/1/1998 13:00 PM", "'1/1/1998 13:00 PM' is not a valid date and time for field 'TS'"},
        {"BY", "12345", "Value of field 'BY' is too long: 5 bytes, at most 4 fit"},
        {"AUTO", "5", "Tbl: Field 'AUTO' cannot be modified"},
    };
    for (const auto& c : cases) {
        auto ds = AllKinds();
        ds->SetName("Tbl");
        ds->Open();
        ds->Edit();
        TField& f = ds->FieldByName(c.field);
        const std::string before = f.EditText();
        const std::string expected =
            std::string(c.message).rfind("Tbl: ", 0) == 0 ? c.message : std::string("Tbl: ") + c.message;
        EXPECT_EQ(Message([&] { f.SetText(c.typed); }), expected) << c.field << " <- " << c.typed;
        EXPECT_EQ(f.EditText(), before) << "the value stays as it was";
        EXPECT_EQ(ds->State(), TDataSetState::dsEdit);
    }
}

TEST(Fields, TypedAccess) {
    auto ds = AllKinds();
    ds->Open();
    ds->Edit();
    TField& i = ds->FieldByName("I32");
    i.SetAsFloat(41.6);
    EXPECT_EQ(i.AsInteger(), 42);
    EXPECT_EQ(i.AsString(), "42");
    EXPECT_DOUBLE_EQ(i.AsFloat(), 42);
    TField& f = ds->FieldByName("F");
    f.SetAsInteger(3);
    EXPECT_DOUBLE_EQ(f.AsFloat(), 3);
    EXPECT_EQ(f.AsInteger(), 3);
    TField& n = ds->FieldByName("N");
    n.SetAsFloat(0.1 + 0.2);  // exactly 0.30 once kept to its scale
    EXPECT_EQ(n.Value().kind, engine::ValueKind::Decimal);
    EXPECT_EQ(n.Value().i, 30);
    TField& b = ds->FieldByName("B");
    b.SetAsBoolean(true);
    EXPECT_TRUE(b.AsBoolean());
    TField& d = ds->FieldByName("D");
    d.SetAsDateTime(engine::DayNumber(1998, 1, 15) * engine::kMsPerDay + 5000);
    EXPECT_EQ(d.DisplayText(), "1/15/1998");
    EXPECT_EQ(d.AsDateTime(), engine::DayNumber(1998, 1, 15) * engine::kMsPerDay);
    TField& s = ds->FieldByName("S");
    s.SetAsInteger(12345);
    EXPECT_EQ(s.AsString(), "12345");
    EXPECT_EQ(s.AsInteger(), 12345);
    s.SetAsString("x1");
    EXPECT_EQ(Message([&] { (void)s.AsInteger(); }), "'x1' is not a valid integer value for field 'S'");
    EXPECT_EQ(Message([&] { (void)d.AsBoolean(); }), "Cannot access field 'D' as type Boolean");
    EXPECT_EQ(Message([&] { i.SetAsDateTime(0); }), "Cannot access field 'I32' as type Integer");
    i.Clear();
    EXPECT_TRUE(i.IsNull());
    EXPECT_EQ(i.AsInteger(), 0);
    EXPECT_EQ(i.DisplayText(), "");
}

TEST(Fields, BlobAndBytesShowTheirTypeName) {
    auto ds = AllKinds();
    ds->Open();
    EXPECT_EQ(ds->FieldByName("MEMO").DisplayText(), "(Memo)");
    EXPECT_EQ(ds->FieldByName("PIC").DisplayText(), "(Graphic)");
    EXPECT_EQ(ds->FieldByName("BY").DisplayText(), "(Bytes)");
    ds->Edit();
    ds->FieldByName("PIC").SetAsValue(Value::Bytes("\x89PNG"));
    ds->FieldByName("BIN").SetAsValue(Value::Bytes("ab"));
    EXPECT_EQ(ds->FieldByName("PIC").DisplayText(), "(GRAPHIC)");
    EXPECT_EQ(ds->FieldByName("BIN").DisplayText(), "(BLOB)");
    EXPECT_EQ(static_cast<TBlobField&>(ds->FieldByName("BIN")).Data(), "ab");
}

TEST(Fields, EventsAndValidChars) {
    auto ds = AllKinds();
    ds->Open();
    TField& s = ds->FieldByName("S");
    std::vector<std::string> seen;
    s.OnValidate = [&](TField& f) {
        if (f.AsString() == "bad") throw EDatabaseError("no bad names");
    };
    s.OnChange = [&](TField& f) { seen.push_back(f.AsString()); };
    s.OnGetText = [](TField&, std::string& text, bool display) {
        if (display) text = "<" + text + ">";
    };
    ds->Edit();
    s.SetAsString("ok");
    EXPECT_THROW(s.SetAsString("bad"), EDatabaseError);
    EXPECT_EQ(s.AsString(), "ok");
    EXPECT_EQ(std::vector<std::string>{"ok"}, seen);
    EXPECT_EQ(s.DisplayText(), "<ok>");
    EXPECT_EQ(s.EditText(), "ok");

    EXPECT_TRUE(ds->FieldByName("I32").IsValidChar('7'));
    EXPECT_FALSE(ds->FieldByName("I32").IsValidChar('.'));
    EXPECT_TRUE(ds->FieldByName("F").IsValidChar('.'));
    EXPECT_FALSE(ds->FieldByName("F").IsValidChar('x'));
    EXPECT_TRUE(ds->FieldByName("S").IsValidChar('x'));
}

TEST(FormatSettings, OtherDateOrdersAndClock) {
    TFormatSettings saved = FormatSettings();
    FormatSettings().dateOrder = TDateOrder::DMY;
    FormatSettings().dateSeparator = '.';
    FormatSettings().dateLeadingZeros = true;
    FormatSettings().twelveHour = false;
    int64_t day = 0, ms = 0;
    EXPECT_TRUE(TryStrToDate("15.01.1998", day));
    EXPECT_EQ(DateToStr(day), "15.01.1998");
    EXPECT_FALSE(TryStrToDate("1/15/1998", day));
    EXPECT_TRUE(TryStrToTime("7:05", ms));
    EXPECT_EQ(TimeToStr(ms), "07:05:00");
    FormatSettings() = saved;
}

TEST(FormatSettings, NumbersWrittenThroughADisplayFormat) {
    struct Case {
        const char* format;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {"#,##0.00", 1234.5, "1,234.50"},
        {"#,##0.00", -1234.5, "-1,234.50"},
        {"$#,##0.00;($#,##0.00)", -2.25, "($2.25)"},
        {"$#,##0.00;($#,##0.00)", 1234567, "$1,234,567.00"},
        {"0.##", 3.1, "3.1"},
        {"0.##", 3, "3"},
        {"#.##", 0.5, ".5"},
        {"000", 7, "007"},
        {"0%", 0.25, "25%"},
        {"#,##0 \"pcs\";(#,##0) \"pcs\";\"none\"", 0, "none"},
        {"#,##0 \"pcs\";(#,##0) \"pcs\";\"none\"", -12345, "(12,345) pcs"},
        {"0", -0.2, "0"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatFloat(c.format, c.value), c.text) << c.format << " " << c.value;
}

TEST(FormatSettings, NumbersReadLenientlyThroughADisplayFormat) {
    struct Case {
        const char* format;
        const char* text;
        bool ok;
        double value;
    };
    const Case cases[] = {
        {"$#,##0.00;($#,##0.00)", "$1,234.50", true, 1234.5},
        {"$#,##0.00;($#,##0.00)", "($2.25)", true, -2.25},
        {"$#,##0.00;($#,##0.00)", " 12 ", true, 12},
        {"#,##0", "-1,000", true, -1000},
        {"#,##0", "7-", true, -7},
        {"#,##0", "1e3", true, 1000},
        {"#,##0 \"pcs\"", "(12) pcs", true, -12},
        {"0%", "25%", true, 0.25},
        {"#,##0", "12x", false, 0},
        {"#,##0", "$", false, 0},
        {"#,##0", "", false, 0},
        {"#,##0", "1.2.3", false, 0},
    };
    for (const Case& c : cases) {
        double v = -99;
        EXPECT_EQ(TryStrToFloatFormatted(c.text, c.format, v), c.ok) << c.format << " " << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.format << " " << c.text;
        }
    }
}

}  // namespace
}  // namespace tessel
