// Tests of data sets.

#include <gtest/gtest.h>

#include <functional>

#include "DataTestSupport.h"
#include "framework/data/NavigatorLogic.h"

namespace tessel {
namespace {

using test::MemoryDataSet;
using test::NumberedDataSet;
using test::RecordingLink;
using Log = std::vector<std::string>;

int CurrentId(TDataSet& ds) {
    return ds.FieldByName("ID").AsInteger();
}

std::string Message(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(DataSet, ClosedDataSetRefusesEveryOperation) {
    auto ds = NumberedDataSet(3);
    ds->SetName("People");
    const std::vector<std::pair<const char*, std::function<void()>>> ops = {
        {"First", [&] { ds->First(); }},
        {"Last", [&] { ds->Last(); }},
        {"Next", [&] { ds->Next(); }},
        {"MoveBy", [&] { ds->MoveBy(-2); }},
        {"Edit", [&] { ds->Edit(); }},
        {"Insert", [&] { ds->Insert(); }},
        {"Append", [&] { ds->Append(); }},
        {"Post", [&] { ds->Post(); }},
        {"Delete", [&] { ds->Delete(); }},
        {"Refresh", [&] { ds->Refresh(); }},
        {"RecordCount", [&] { (void)ds->RecordCount(); }},
        {"GotoBookmark", [&] { ds->GotoBookmark(std::string(8, '\0')); }},
    };
    for (const auto& [name, op] : ops)
        EXPECT_EQ(Message(op), "People: Cannot perform this operation on a closed dataset") << name;
    ds->SetName("");
    EXPECT_EQ(Message([&] { ds->First(); }), "Cannot perform this operation on a closed dataset");
}

TEST(DataSet, MovesBothWaysWithBofAndEof) {
    auto ds = NumberedDataSet(5);
    ds->Open();
    EXPECT_TRUE(ds->Bof());
    EXPECT_FALSE(ds->Eof());
    EXPECT_EQ(CurrentId(*ds), 1);
    EXPECT_EQ(ds->RecNo(), 1);
    EXPECT_EQ(ds->RecordCount(), 5);

    ds->Prior();  // already first: stays, Bof stays
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(CurrentId(*ds), 1);

    for (int id = 2; id <= 5; ++id) {
        ds->Next();
        EXPECT_EQ(CurrentId(*ds), id);
        EXPECT_FALSE(ds->Bof());
        EXPECT_FALSE(ds->Eof());
    }
    ds->Next();  // past the last record: Eof, still on record 5
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(CurrentId(*ds), 5);

    ds->First();
    EXPECT_EQ(ds->MoveBy(10), 4);
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->MoveBy(-2), -2);
    EXPECT_EQ(CurrentId(*ds), 3);
    EXPECT_FALSE(ds->Eof());
    EXPECT_EQ(ds->MoveBy(-100), -2);
    EXPECT_TRUE(ds->Bof());
    EXPECT_EQ(CurrentId(*ds), 1);

    ds->Last();
    EXPECT_TRUE(ds->Eof());
    EXPECT_FALSE(ds->Bof());
    EXPECT_EQ(ds->RecNo(), 5);
    ds->SetRecNo(2);
    EXPECT_EQ(CurrentId(*ds), 2);
    ds->SetRecNo(99);
    EXPECT_EQ(CurrentId(*ds), 5);
}

TEST(DataSet, EmptyDataSet) {
    auto ds = NumberedDataSet(0);
    ds->SetName("Empty");
    ds->Open();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->Bof());
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ds->RecNo(), -1);
    EXPECT_EQ(ds->GetBookmark(), "");
    EXPECT_TRUE(ds->FieldByName("ID").IsNull());
    EXPECT_EQ(ds->MoveBy(1), 0);
    EXPECT_EQ(Message([&] { ds->Delete(); }), "Empty: Cannot perform this operation on an empty dataset");
    // Editing an empty data set starts a new record.
    ds->Edit();
    EXPECT_EQ(ds->State(), TDataSetState::dsInsert);
    ds->FieldByName("ID").SetAsInteger(7);
    ds->Post();
    EXPECT_EQ(ds->RecordCount(), 1);
    EXPECT_EQ(CurrentId(*ds), 7);
}

TEST(DataSet, BookmarksFindTheirRecordsAgain) {
    auto ds = NumberedDataSet(10);
    ds->Open();
    ds->MoveBy(6);
    const TBookmark seven = ds->GetBookmark();
    ds->First();
    const TBookmark one = ds->GetBookmark();
    ds->Last();
    EXPECT_TRUE(ds->BookmarkValid(seven));
    EXPECT_LT(ds->CompareBookmarks(one, seven), 0);
    EXPECT_GT(ds->CompareBookmarks(seven, one), 0);
    EXPECT_EQ(ds->CompareBookmarks(seven, seven), 0);
    EXPECT_LT(ds->CompareBookmarks("", one), 0);
    EXPECT_EQ(ds->CompareBookmarks("", ""), 0);
    ds->GotoBookmark(seven);
    EXPECT_EQ(CurrentId(*ds), 7);

    // The bookmark outlives the deletion of another record; its own record's does not.
    ds->First();
    ds->Delete();
    ds->GotoBookmark(seven);
    EXPECT_EQ(CurrentId(*ds), 7);
    ds->Delete();
    EXPECT_FALSE(ds->BookmarkValid(seven));
    EXPECT_FALSE(ds->BookmarkValid("junk"));
    EXPECT_EQ(Message([&] { ds->GotoBookmark(seven); }), "Record not found");
    EXPECT_EQ(Message([&] { ds->GotoBookmark("junk"); }), "Invalid bookmark");
}

TEST(DataSet, RecordWindowFollowsTheLinksBufferCount) {
    auto ds = NumberedDataSet(10);
    TDataSource source(ds.get());
    RecordingLink link;
    link.SetDataSource(&source);
    link.SetBufferCount(3);
    ds->Open();
    EXPECT_EQ(ds->BufferCount(), 3);
    EXPECT_EQ(link.RecordCount(), 3);
    link.Clear();

    // Within the window only the active record moves; beyond it the window shifts.
    ds->Next();
    ds->Next();
    EXPECT_EQ(link.ActiveRecord(), 2);
    ds->Next();
    EXPECT_EQ(link.ActiveRecord(), 2);
    ds->MoveBy(-3);
    EXPECT_EQ(link.ActiveRecord(), 0);
    ds->MoveBy(7);
    EXPECT_EQ(
        (Log{"CheckBrowseMode", "DataSetScrolled(0)", "CheckBrowseMode", "DataSetScrolled(0)", "CheckBrowseMode",
             "DataSetScrolled(1)", "CheckBrowseMode", "DataSetScrolled(-1)", "CheckBrowseMode", "DataSetScrolled(5)"}),
        link.log);
    EXPECT_EQ(CurrentId(*ds), 8);

    // The rows a grid draws: each record of the window through the active record.
    ds->Last();
    std::vector<int> ids;
    const int saved = link.ActiveRecord();
    for (int row = 0; row < link.RecordCount(); ++row) {
        link.SetActiveRecord(row);
        ids.push_back(CurrentId(*ds));
    }
    link.SetActiveRecord(saved);
    EXPECT_EQ((std::vector<int>{8, 9, 10}), ids);
    EXPECT_EQ(CurrentId(*ds), 10);

    // A taller grid gets more records without moving the current one.
    link.SetBufferCount(5);
    EXPECT_EQ(link.RecordCount(), 5);
    EXPECT_EQ(CurrentId(*ds), 10);
    EXPECT_EQ(link.ActiveRecord(), 4);
    // A second, smaller link keeps its own window around the current record.
    RecordingLink small;
    small.SetDataSource(&source);
    EXPECT_EQ(Log{"ActiveChanged(on)"}, small.log);
    small.Clear();
    EXPECT_EQ(small.RecordCount(), 1);
    EXPECT_EQ(small.ActiveRecord(), 0);
    ds->Prior();
    EXPECT_EQ(small.ActiveRecord(), 0);
    EXPECT_EQ((Log{"CheckBrowseMode", "DataSetScrolled(-1)"}), small.log);
}

TEST(DataSet, ReadsOnlyTheRecordsItShows) {
    auto ds = NumberedDataSet(100000);
    TDataSource source(ds.get());
    RecordingLink link;
    link.SetDataSource(&source);
    ds->Open();
    link.SetBufferCount(20);
    ds->Last();
    ds->First();
    ds->MoveBy(50000);
    for (int i = 0; i < 10; ++i) ds->Next();
    // The first record, the rest of the first screen, three screens, one record per step.
    EXPECT_EQ(ds->Memory()->Reads(), 1 + 19 + 20 * 3 + 10);
}

// Each operation and the notifications a link sees, in order.
TEST(DataSet, LinkSeesEachOperationsNotificationsInOrder) {
    struct Case {
        const char* name;
        std::function<void(TDataSet&, RecordingLink&)> setup;
        std::function<void(TDataSet&, RecordingLink&)> op;
        Log expected;
    };
    auto nothing = [](TDataSet&, RecordingLink&) {};
    auto editing = [](TDataSet& ds, RecordingLink&) { ds.Edit(); };
    auto changed = [](TDataSet& ds, RecordingLink&) {
        ds.Edit();
        ds.FieldByName("NAME").SetAsString("x");
    };
    const std::vector<Case> cases = {
        {"Next", nothing, [](TDataSet& ds, RecordingLink&) { ds.Next(); }, {"CheckBrowseMode", "DataSetScrolled(1)"}},
        {"Next at the end",
         [](TDataSet& ds, RecordingLink&) { ds.Last(); },
         [](TDataSet& ds, RecordingLink&) { ds.Next(); },
         {"CheckBrowseMode", "DataSetScrolled(0)"}},
        {"First", nothing, [](TDataSet& ds, RecordingLink&) { ds.First(); }, {"CheckBrowseMode", "DataSetChanged"}},
        {"Last", nothing, [](TDataSet& ds, RecordingLink&) { ds.Last(); }, {"CheckBrowseMode", "DataSetChanged"}},
        {"Edit", nothing, [](TDataSet& ds, RecordingLink&) { ds.Edit(); }, {"EditingChanged(on)", "RecordChanged()"}},
        {"set a field",
         editing,
         [](TDataSet& ds, RecordingLink&) { ds.FieldByName("NAME").SetAsString("x"); },
         {"RecordChanged(NAME)"}},
        {"Post",
         changed,
         [](TDataSet& ds, RecordingLink&) { ds.Post(); },
         {"UpdateData", "EditingChanged(off)", "DataSetChanged"}},
        {"Cancel",
         changed,
         [](TDataSet& ds, RecordingLink&) { ds.Cancel(); },
         {"EditingChanged(off)", "DataSetChanged"}},
        {"Insert",
         nothing,
         [](TDataSet& ds, RecordingLink&) { ds.Insert(); },
         {"CheckBrowseMode", "EditingChanged(on)", "DataSetChanged"}},
        {"Append",
         nothing,
         [](TDataSet& ds, RecordingLink&) { ds.Append(); },
         {"CheckBrowseMode", "EditingChanged(on)", "DataSetChanged"}},
        {"Delete", nothing, [](TDataSet& ds, RecordingLink&) { ds.Delete(); }, {"CheckBrowseMode", "DataSetChanged"}},
        {"Refresh", nothing, [](TDataSet& ds, RecordingLink&) { ds.Refresh(); }, {"CheckBrowseMode", "DataSetChanged"}},
        {"Next posts a changed record",
         changed,
         [](TDataSet& ds, RecordingLink&) { ds.Next(); },
         {"CheckBrowseMode", "UpdateData", "EditingChanged(off)", "DataSetChanged", "DataSetScrolled(1)"}},
        {"Next cancels an unchanged edit",
         editing,
         [](TDataSet& ds, RecordingLink&) { ds.Next(); },
         {"CheckBrowseMode", "UpdateData", "EditingChanged(off)", "DataSetChanged", "DataSetScrolled(1)"}},
        {"Close", nothing, [](TDataSet& ds, RecordingLink&) { ds.Close(); }, {"ActiveChanged(off)"}},
        {"Close while editing",
         editing,
         [](TDataSet& ds, RecordingLink&) { ds.Close(); },
         {"EditingChanged(off)", "ActiveChanged(off)"}},
        {"display width",
         nothing,
         [](TDataSet& ds, RecordingLink&) { ds.FieldByName("NAME").SetDisplayWidth(30); },
         {"LayoutChanged"}},
        {"field order",
         nothing,
         [](TDataSet& ds, RecordingLink&) { ds.FieldByName("NAME").SetIndex(0); },
         {"LayoutChanged"}},
        {"controls disabled",
         nothing,
         [](TDataSet& ds, RecordingLink&) {
             ds.DisableControls();
             ds.Next();
             ds.Next();
             ds.EnableControls();
         },
         {"CheckBrowseMode", "CheckBrowseMode", "DataSetChanged"}},
        {"controls disabled, nothing done",
         nothing,
         [](TDataSet& ds, RecordingLink&) {
             ds.DisableControls();
             ds.EnableControls();
         },
         {}},
        {"pending text of the control",
         editing,
         [](TDataSet& ds, RecordingLink& link) {
             link.pendingField = &ds.FieldByName("NAME");
             link.pendingText = "typed";
             ds.Post();
         },
         {"UpdateData", "EditingChanged(off)", "DataSetChanged"}},
        {"source disabled",
         nothing,
         [](TDataSet& ds, RecordingLink& link) {
             link.DataSource()->SetEnabled(false);
             ds.Next();  // an inactive link hears nothing
         },
         {"ActiveChanged(off)"}},
    };
    for (const auto& c : cases) {
        auto ds = NumberedDataSet(5);
        TDataSource source(ds.get());
        RecordingLink link;
        link.SetDataSource(&source);
        ds->Open();
        EXPECT_EQ(Log{"ActiveChanged(on)"}, link.log) << c.name;
        c.setup(*ds, link);
        link.Clear();
        c.op(*ds, link);
        EXPECT_EQ(c.expected, link.log) << c.name;
    }
}

TEST(DataSet, PendingTextOfAControlIsPosted) {
    auto ds = NumberedDataSet(3);
    TDataSource source(ds.get());
    RecordingLink link;
    link.SetDataSource(&source);
    ds->Open();
    ds->Edit();
    link.pendingField = &ds->FieldByName("NAME");
    link.pendingText = "typed";
    ds->Next();  // leaving the record writes the control's text, then posts it
    ds->First();
    EXPECT_EQ(ds->FieldByName("NAME").AsString(), "typed");
}

TEST(DataSet, FocusRequestStopsAtTheFirstLinkThatTakesIt) {
    auto ds = NumberedDataSet(3);
    TDataSource source(ds.get());
    RecordingLink a, b, c;
    for (auto* l : {&a, &b, &c}) l->SetDataSource(&source);
    b.takesFocus = true;
    ds->Open();
    for (auto* l : {&a, &b, &c}) l->Clear();
    ds->FieldByName("NAME").FocusControl();
    EXPECT_EQ(Log{"FocusControl(NAME)"}, a.log);
    EXPECT_EQ(Log{"FocusControl(NAME)"}, b.log);
    EXPECT_TRUE(c.log.empty());
}

TEST(DataSet, EditingInsertAppendCancelAndDelete) {
    auto ds = NumberedDataSet(5);
    TDataSource source(ds.get());
    RecordingLink link;
    link.SetDataSource(&source);
    link.SetBufferCount(3);
    ds->Open();
    auto names = [&] {
        std::vector<std::string> v;
        for (auto& r : ds->Memory()->Records()) v.push_back(r[1].s);
        return v;
    };

    ds->MoveBy(1);
    ds->Edit();
    ds->FieldByName("NAME").SetAsString("two");
    EXPECT_TRUE(ds->Modified());
    EXPECT_EQ(ds->FieldByName("NAME").OldValue().s, "r2");
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("NAME").AsString(), "r2");
    EXPECT_EQ(names()[1], "r2");

    ds->Edit();
    ds->FieldByName("NAME").SetAsString("two");
    ds->Post();
    EXPECT_EQ(names()[1], "two");
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);

    // Insert puts a new record before the current one in the window; cancel brings it back.
    ds->Insert();
    EXPECT_EQ(ds->RecNo(), -1);
    EXPECT_TRUE(ds->FieldByName("ID").IsNull());
    EXPECT_EQ(link.RecordCount(), 3);
    ds->Cancel();
    EXPECT_EQ(CurrentId(*ds), 2);
    EXPECT_EQ(ds->RecordCount(), 5);

    ds->Append();
    EXPECT_EQ(link.ActiveRecord(), 2);
    ds->FieldByName("ID").SetAsInteger(6);
    ds->FieldByName("NAME").SetAsString("six");
    ds->Post();
    EXPECT_EQ(ds->RecordCount(), 6);
    EXPECT_EQ(CurrentId(*ds), 6);
    EXPECT_EQ(names().back(), "six");

    ds->First();
    ds->Delete();
    EXPECT_EQ(CurrentId(*ds), 2);
    ds->Last();
    ds->Delete();
    EXPECT_EQ(CurrentId(*ds), 5);
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ((std::vector<std::string>{"two", "r3", "r4", "r5"}), names());
}

TEST(DataSet, EventsComeInOrder) {
    auto ds = NumberedDataSet(3);
    Log events;
    auto note = [&](const char* what) { return [&events, what](TDataSet&) { events.push_back(what); }; };
    ds->BeforeOpen = note("BeforeOpen");
    ds->AfterOpen = note("AfterOpen");
    ds->BeforeEdit = note("BeforeEdit");
    ds->AfterEdit = note("AfterEdit");
    ds->BeforePost = note("BeforePost");
    ds->AfterPost = note("AfterPost");
    ds->BeforeInsert = note("BeforeInsert");
    ds->AfterInsert = note("AfterInsert");
    ds->OnNewRecord = [&](TDataSet& d) {
        events.push_back("OnNewRecord");
        d.FieldByName("NAME").SetAsString("default");
    };
    ds->BeforeCancel = note("BeforeCancel");
    ds->AfterCancel = note("AfterCancel");
    ds->BeforeDelete = note("BeforeDelete");
    ds->AfterDelete = note("AfterDelete");
    ds->BeforeScroll = note("BeforeScroll");
    ds->AfterScroll = note("AfterScroll");
    ds->BeforeClose = note("BeforeClose");
    ds->AfterClose = note("AfterClose");
    ds->Open();
    ds->Next();
    ds->Edit();
    ds->FieldByName("NAME").SetAsString("x");
    ds->Post();
    ds->Insert();
    EXPECT_EQ(ds->FieldByName("NAME").AsString(), "default");
    EXPECT_FALSE(ds->Modified());  // defaults alone do not make a change
    ds->Cancel();
    ds->Delete();
    ds->Close();
    EXPECT_EQ(
        (Log{"BeforeOpen",  "AfterOpen",    "BeforeScroll", "AfterScroll", "BeforeEdit",  "AfterEdit",   "BeforePost",
             "AfterPost",   "BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll", "BeforeCancel",
             "AfterCancel", "BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll", "BeforeClose", "AfterClose"}),
        events);
}

TEST(DataSet, ReadOnlyDataSetRefusesChanges) {
    auto ds = NumberedDataSet(3, true);
    ds->SetName("Answer");
    ds->Open();
    for (auto op : std::vector<std::function<void()>>{[&] { ds->Edit(); }, [&] { ds->Insert(); }, [&] { ds->Append(); },
                                                      [&] { ds->Delete(); }})
        EXPECT_EQ(Message(op), "Answer: Cannot modify a read-only dataset");
    EXPECT_EQ(ds->State(), TDataSetState::dsBrowse);
    EXPECT_EQ(Message([&] { ds->FieldByName("ID").SetAsInteger(1); }), "Answer: Dataset not in edit or insert mode");
    EXPECT_EQ(Message([&] { ds->Post(); }), "Answer: Dataset not in edit or insert mode");
    EXPECT_EQ(Message([&] { ds->FieldByName("NOPE"); }), "Answer: Field 'NOPE' not found");
}

TEST(DataSet, PostErrorHandlerDecides) {
    // A cursor that fails its first `failures` writes.
    struct FlakyDataSet : MemoryDataSet {
        using MemoryDataSet::MemoryDataSet;
        int failures = 0;
        struct Cursor : TMemoryCursor {
            Cursor(FlakyDataSet& o, std::vector<engine::FieldDesc> f, std::vector<engine::Record> r)
                : TMemoryCursor(std::move(f), std::move(r)), owner(o) {}
            int64_t UpdateRecord(int64_t p, const engine::Record& v) override {
                if (owner.failures > 0) {
                    --owner.failures;
                    throw engine::EngineError("Record locked by another user.", 0x2104);
                }
                return TMemoryCursor::UpdateRecord(p, v);
            }
            FlakyDataSet& owner;
        };
        std::unique_ptr<TDataCursor> CreateCursor() override {
            return std::make_unique<Cursor>(
                *this, std::vector<engine::FieldDesc>{engine::FieldDesc::Make("ID", engine::fldtype::kInt32)},
                std::vector<engine::Record>{{engine::Value::Int(1)}});
        }
    };
    FlakyDataSet ds({}, {});
    ds.Open();
    int calls = 0;
    ds.OnPostError = [&](TDataSet&, EDatabaseError& e, TDataAction& action) {
        ++calls;
        EXPECT_STREQ(e.what(), "Record locked by another user.");
        EXPECT_EQ(dynamic_cast<EDBEngineError&>(e).ErrorCode(), 0x2104);
        action = TDataAction::daRetry;
    };
    ds.failures = 2;
    ds.Edit();
    ds.FieldByName("ID").SetAsInteger(5);
    ds.Post();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(CurrentId(ds), 5);

    // Without a handler the failure stands and the record stays in edit state.
    ds.OnPostError = nullptr;
    ds.failures = 1;
    ds.Edit();
    ds.FieldByName("ID").SetAsInteger(6);
    EXPECT_THROW(ds.Post(), EDBEngineError);
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
    EXPECT_EQ(CurrentId(ds), 6);
    ds.Post();
    EXPECT_EQ(CurrentId(ds), 6);

    ds.OnPostError = [](TDataSet&, EDatabaseError&, TDataAction& action) { action = TDataAction::daAbort; };
    ds.failures = 1;
    ds.Edit();
    ds.FieldByName("ID").SetAsInteger(7);
    EXPECT_THROW(ds.Post(), EAbort);
    EXPECT_EQ(ds.State(), TDataSetState::dsEdit);
}

}  // namespace
}  // namespace tessel
