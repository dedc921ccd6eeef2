// The table-to-SQL generator: CREATE TABLE, SELECT, INSERT and UPDATE text.

#include "sqlgen/TableTool.h"

#include <cstdio>
#include <ctime>

#include "engine/drivers/Drivers.h"
#include "engine/storage/Field.h"
#include "engine/storage/Table.h"
#include "engine/storage/Value.h"
#include "framework/data/FormatSettings.h"
#include "framework/data/Table.h"

namespace tessel {

namespace {

std::string Quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';  // a quote inside stays one quote when read back
    }
    return out + "\"";
}

bool IsBlankOrControl(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 1 && u <= ' ';
}

std::string Num(uint16_t v) {
    return std::to_string(static_cast<unsigned>(v));
}

std::string BlobDigit(uint16_t subType) {
    switch (subType) {
        case engine::fldsub::kMemo:
            return "1";
        case engine::fldsub::kBinary:
            return "2";
        case engine::fldsub::kFormattedMemo:
            return "3";
        case engine::fldsub::kOle:
            return "4";
        case engine::fldsub::kGraphic:
            return "5";
        case engine::fldsub::kDbaseOle:
            return "4";
        case engine::fldsub::kTypedBinary:
            return "2";
        default:
            return "";
    }
}

constexpr const char* kUnknownType = "unknown";

// "hh:nn:ssam/pm": the 12-hour clock with two digits, 0 o'clock reading 12.
std::string GeneratedAt() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const std::string date = DateToStr(engine::DayNumber(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday));
    int hour = local.tm_hour % 12;
    if (hour == 0) hour = 12;
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d%s", hour, local.tm_min, local.tm_sec,
                  local.tm_hour < 12 ? "am" : "pm");
    return date + " " + time;
}

}  // namespace

TTableTool::TTableTool(void* owner) : owner_(owner), fieldList_(owner) {}

TTableTool::~TTableTool() {
    if (!table_) return;
    try {
        table_->SetActive(wasActive_);
    } catch (const std::exception&) {
        // A destructor reports nothing; the table stays as it is.
    }
}

void TTableTool::SetTable(TTable* table) {
    if (!table) return;
    table_ = table;
    wasActive_ = table->Active();
    if (!wasActive_) table->Open();
    GetTableInfo();
    LoadFields();
    BuildSQL();
}

void TTableTool::GetTableInfo() {
    engine::TableProperties props;
    try {
        props = table_->CursorProperties();
    } catch (const std::exception& e) {
        std::string message = e.what();
        if (!message.empty() && message.back() != '.') message += '.';
        throw ETableToolError("Table Tools exception: " + message);
    }
    tableInfo_.Name = props.name;
    tableInfo_.TableType = props.typeName.substr(0, 31);
    tableInfo_.FieldCount = static_cast<int>(props.fieldCount);
    tableInfo_.RecordBufferSize = static_cast<int>(props.recordBufferSize);
    tableInfo_.IndexCount = static_cast<int>(props.indexCount);
    tableInfo_.ValCheckCount = static_cast<int>(props.valCheckCount);
    tableInfo_.RefIntCheckCount = static_cast<int>(props.refIntCheckCount);
    tableInfo_.TableLevel = static_cast<uint8_t>(props.level & 0xFF);
    tableInfo_.LanguageDriver = props.languageDriver.substr(0, 31);
}

void TTableTool::LoadFields() {
    fieldList_.Clear();
    const auto props = table_->CursorProperties();
    fieldList_.Reserve(static_cast<int>(props.fieldCount));
    const std::vector<engine::FieldDesc> fields = table_->FieldDescriptors();
    const std::vector<std::string> sqlNames = engine::SqlFieldNames(fields);
    for (size_t k = 0; k < fields.size(); ++k) {
        const engine::FieldDesc& f = fields[k];
        TFieldItem& item = fieldList_.AddField(sqlNames[k], f.type, f.subType, f.units1, f.units2);
        if (sqlNames[k] != f.name) item.StoredName = f.name;
    }
}

std::string TTableTool::TableNameText() const {
    std::string name = tableInfo_.Name;
    if (showExt_) {
        if (const engine::StorageDriver* driver = engine::FindDriverByTypeName(tableInfo_.TableType))
            name += driver->Extension();
    }
    return quoteTables_ ? Quoted(name) : name;
}

std::string TTableTool::OneFieldNameText(const std::string& name) const {
    std::string out = quoteFields_ ? Quoted(name) : name;
    if (showTable_) out = TableNameText() + "." + out;
    return out;
}

std::string TTableTool::FieldNameText(const std::string& s) const {
    if (s.find(',') == std::string::npos) return OneFieldNameText(s);
    std::string joined;
    bool first = true;
    size_t i = 0;
    const size_t n = s.size();
    while (i < n && IsBlankOrControl(s[i])) ++i;
    while (i < n) {
        std::string item;
        if (s[i] == '"') {
            ++i;
            while (i < n) {
                if (s[i] == '"') {
                    if (i + 1 < n && s[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += s[i++];
            }
        } else {
            while (i < n && s[i] != ',' && !IsBlankOrControl(s[i])) item += s[i++];
        }
        // A quoted item may hold a comma: it stays one name.
        if (!first) joined += ',';
        joined += OneFieldNameText(item);
        first = false;
        while (i < n && s[i] == ' ') ++i;
        if (i < n && s[i] == ',') {
            ++i;
            while (i < n && s[i] == ' ') ++i;
        }
        while (i < n && IsBlankOrControl(s[i])) ++i;
    }
    return joined;
}

std::string TTableTool::FieldTypeText(uint16_t fieldType, uint16_t subType, uint16_t units2, uint16_t units1) const {
    using namespace engine;
    switch (fieldType) {
        case fldtype::kString:
            return "CHAR(" + Num(units1) + ")";
        case fldtype::kDate:
            return "DATE";
        case fldtype::kBlob:
            return "BLOB(" + Num(units1) + ", " + BlobDigit(subType) + ")";
        case fldtype::kBool:
            return "BOOLEAN";
        case fldtype::kInt16:
            return "SMALLINT";
        case fldtype::kInt32:
            return subType == fldsub::kNone ? "INTEGER" : subType == fldsub::kAutoInc ? "AUTOINC" : "";
        case fldtype::kFloat: {
            const std::string type = subType == fldsub::kNone ? "FLOAT" : subType == fldsub::kMoney ? "MONEY" : "";
            // Width first, then decimal places, as CREATE TABLE reads them.
            // A format whose numbers keep no size writes none.
            const engine::StorageDriver* driver = engine::FindDriverByTypeName(tableInfo_.TableType);
            if (driver && !driver->Limits().sizedNumbers) return type;
            return type + "(" + Num(units1) + ", " + Num(units2) + ")";
        }
        case fldtype::kBytes:
            return "BYTES(" + Num(units1) + ")";
        case fldtype::kTime:
            return "TIME";
        case fldtype::kTimestamp:
            return "TIMESTAMP";
        default:
            return kUnknownType;
    }
}

void TTableTool::BuildSQL() {
    sql_.Clear();
    if (fieldList_.Count() == 0) return;
    if (includeRemarks_) {
        sql_.Add("/*");
        sql_.Add("  Table name: " + TableNameText());
        sql_.Add("  Table type: " + tableInfo_.TableType);
        sql_.Add("  Table level: " + std::to_string(static_cast<unsigned>(tableInfo_.TableLevel)));
        sql_.Add("  Language driver: " + tableInfo_.LanguageDriver);
        sql_.Add("  SQL generated: " + GeneratedAt());
        sql_.Add("*/");
        sql_.Add("");
    }
    sql_.Add("CREATE TABLE " + TableNameText());
    sql_.Add("(");
    for (int i = 0; i < fieldList_.Count(); ++i) {
        const TFieldItem& f = fieldList_.Items(i);
        const std::string type = FieldTypeText(f.FieldType, f.SubType, f.Units2, f.Units1);
        std::string line = OneFieldNameText(f.Name) + " " + type;
        if (i + 1 < fieldList_.Count()) line += ",";
        // A type the statement cannot name gets a note of the engine's codes, so the person
        // can write the type by hand. Only the type decides: a field called "unknown" is fine.
        if (type == kUnknownType)
            line += "  [T: " + Num(f.FieldType) + ", S: " + Num(f.SubType) + ", U1: " + Num(f.Units1) +
                    ", U2: " + Num(f.Units2) + "]";
        // A repeated name (a writer cut long names short) keeps its place under the SQL name.
        if (!f.StoredName.empty()) line += "  /* stored as " + f.StoredName + " */";
        sql_.Add("  " + line);
    }
    AddPrimaryKey();
    sql_.Add(")");
    sql_.Add("");
}

void TTableTool::AddPrimaryKey() {
    table_->UpdateIndexDefs();
    for (const engine::IndexDesc& index : table_->IndexDefs()) {
        if (!index.primary || index.fields.empty()) continue;
        // Each key field is one name, blanks and all.
        std::string names;
        size_t from = 0;
        bool first = true;
        for (;;) {
            const size_t semi = index.fields.find(';', from);
            const std::string name =
                index.fields.substr(from, semi == std::string::npos ? std::string::npos : semi - from);
            if (!first) names += ',';
            names += OneFieldNameText(name);
            first = false;
            if (semi == std::string::npos) break;
            from = semi + 1;
        }
        sql_.Put(sql_.Count() - 1, sql_.Get(sql_.Count() - 1) + ",");
        sql_.Add("  PRIMARY KEY (" + names + ")");
        return;
    }
}

}  // namespace tessel
