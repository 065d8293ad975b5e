// The database layer: statements, kinds, failures, transactions and threads, the stored text
// form and the literals values become.
#include "storage/sqlite_database.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <thread>

#include "storage/stored_text.h"
#include "testing/temp_dir.h"

namespace zb::storage {
namespace {

// The primary result code and the message of the failure an action ends with.
struct Failure {
    int code = 0;
    std::string message = "<no exception>";
};
Failure FailureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ESQLiteException& e) {
        return {e.PrimaryCode(), e.what()};
    }
    return {};
}
std::string MessageOf(const std::function<void()>& action) {
    return FailureOf(action).message;
}

class DatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db = std::make_unique<TSQLiteDatabase>((dir / "test.db").string());
        db->ExecuteSql(
            "CREATE TABLE \"Operator\"('UID' INTEGER PRIMARY KEY AUTOINCREMENT,"
            "'Name' TEXT,'Login' TEXT,'Password' TEXT,'XML' TEXT)");
        db->ExecuteSql(
            "CREATE TABLE \"Kinds\"('I' INTEGER,'F' REAL,'B' BLOB,'T' TEXT,'N' NUMERIC)");
    }
    testing::TempDir dir;
    std::unique_ptr<TSQLiteDatabase> db;
};

TEST_F(DatabaseTest, ColumnNamesAreFoundInAnyCaseAndAnEmptyResultHasNone) {
    auto empty = db->QueryTable("SELECT UID from Operator");
    EXPECT_TRUE(empty->AtEnd());
    EXPECT_EQ(empty->ColumnCount(), 0u);
    EXPECT_FALSE(empty->Next());
    EXPECT_EQ(MessageOf([&] { empty->FieldText("UID"); }), "Field UID Not found. Empty dataset");

    db->ExecuteSql("INSERT into Operator (Name,Login) values('A','B')");
    auto table = db->QueryTable("SELECT Login as login_alias from Operator");
    EXPECT_EQ(table->ColumnNames().at(0), "LOGIN_ALIAS");
    EXPECT_EQ(table->FieldText("Login_Alias"), "B");
    EXPECT_EQ(MessageOf([&] { table->FieldText("Nope"); }), "Field not found in dataset: Nope");
}

// A double-quoted word in a statement is a column name, never a text: a statement that still
// carried a double-quoted value fails instead of matching whatever column the value spells.
// Values written by earlier versions with double-quoted literals read back the same.
TEST_F(DatabaseTest, DoubleQuotedWordsAreColumnsAndOldFilesReadTheSame) {
    sqlite3* old = nullptr;
    ASSERT_EQ(sqlite3_open((dir / "test.db").string().c_str(), &old), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(old,
                           "INSERT into Operator (Name,Login,Password) "
                           "values(\"Login\",\"&quot;&amp;\",\"42\")",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(old);

    auto table =
        db->QueryTable("SELECT Name,Login,Password from Operator WHERE Name=" + SqlText("Login"));
    ASSERT_EQ(table->RowCount(), 1u);
    EXPECT_EQ(table->FieldText(0), "Login");
    EXPECT_EQ(StoredTextDecode(table->FieldText(1)), "\"&");
    EXPECT_EQ(table->FieldText(2), "42");
    EXPECT_EQ(
        db->QueryTable("SELECT UID from Operator WHERE Login=" + SqlText("Login"))->RowCount(), 0u);
    EXPECT_THROW(db->QueryTable("SELECT UID from Operator WHERE Name=\"NoSuchColumn\""),
                 ESQLiteException);
}

TEST_F(DatabaseTest, KindsFollowTheDeclaredTypeOfTheColumn) {
    db->ExecuteSql("INSERT into Kinds values('42','2.5',x'0102','17','3')");
    db->ExecuteSql("INSERT into Kinds values(NULL,NULL,NULL,'ab' || char(0) || 'cd',NULL)");
    auto t = db->QueryTable("SELECT I,F,B,T,N,COUNT(*) as C,I+1 as E from Kinds GROUP BY I");
    // GROUP BY I puts the NULL row first. A null cell reads as its kind's empty value, also in
    // an expression whose kind only its later values give; a text stops at its first zero byte.
    ASSERT_EQ(t->RowCount(), 2u);
    EXPECT_EQ(t->FieldText(0) + "|" + t->FieldText(3) + "|" + t->FieldText(6), "0|ab|0");
    ASSERT_TRUE(t->Next());
    const int kinds[] = {kKindInteger, kKindFloat,   kKindBlob,   kKindText,
                         kKindFloat,   kKindInteger, kKindInteger};
    for (uint32_t column = 0; column < 7; ++column) {
        EXPECT_EQ(t->ColumnKindOf(column), kinds[column]) << column;  // NUMERIC is floating
    }
    EXPECT_EQ(t->FieldInt64(0) + t->FieldInt64(6), 42 + 43);
    EXPECT_EQ(t->FieldText(1), "2.5");
    EXPECT_EQ(t->FieldInt64(1), 2) << "floating values truncate toward zero";
    EXPECT_DOUBLE_EQ(t->FieldFloat(0), 42.0);
    EXPECT_EQ(MessageOf([&] { t->FieldInt64(3); }), "Not an integer or numeric field")
        << "a TEXT column is not read as a number even when it holds one";
    EXPECT_TRUE(t->Next()) << "the last row moves the cursor past the end";
    EXPECT_TRUE(t->AtEnd());
    EXPECT_FALSE(t->Next());
    EXPECT_EQ(MessageOf([&] { t->FieldText(0); }), "Table is at End of File");
}

TEST_F(DatabaseTest, FailuresCarryTheLibrarysWords) {
    EXPECT_EQ(MessageOf([&] { db->ExecuteSql(""); }), "Could not prepare SQL statement");
    EXPECT_EQ(MessageOf([&] { db->ExecuteSql("SELEC 1"); }),
              "Error executing SQL.\rError [1]: SQL error or missing database.\r\"SELEC 1\": "
              "near \"SELEC\": syntax error");
    EXPECT_EQ(MessageOf([&] { db->QueryTable("SELECT x from Missing"); }),
              "Error executing SQL.\rError [1]: SQL error or missing database.\r\"SELECT x from "
              "Missing\": no such table: Missing");
    const std::string path = (dir / "missing-folder/x.db").string();
    EXPECT_EQ(MessageOf([&] { TSQLiteDatabase missing(path); }),
              "Failed to open database \"" + path + "\" : unable to open database file");
    EXPECT_EQ(ResultCodeText(27), "Unknown SQLite Error Code \"27\"");
}

TEST_F(DatabaseTest, InsertsAndChangesAreCountedAndOnlyTheFirstStatementRuns) {
    EXPECT_EQ(db->InsertSql("INSERT into Operator (Name) values('a')"), 1);
    EXPECT_EQ(db->InsertSql("INSERT into Operator (Name) values('b'); DELETE from Operator"), 2);
    EXPECT_EQ(db->ExecuteSqlChanges("UPDATE Operator SET Login='x'"), 2);
    EXPECT_EQ(db->ExecuteSqlChanges("DELETE from Operator WHERE UID = '7'"), 0);
}

TEST_F(DatabaseTest, ConcurrentInsertsEachGetTheirOwnRowId) {
    // Two threads insert into the same table; every id handed back must be the row that thread
    // wrote, never the other thread's.
    std::atomic<int> mismatches{0};
    auto worker = [&](const std::string& tag) {
        for (int i = 0; i < 300; ++i) {
            const int64_t uid = db->InsertSql("INSERT into Operator (Name) values(" +
                                              SqlText(tag + std::to_string(i)) + ")");
            auto row = db->QueryTable("SELECT Name from Operator WHERE UID = " + SqlInt(uid));
            mismatches += row->AtEnd() || row->FieldText(0) != tag + std::to_string(i);
        }
    };
    std::thread a(worker, "a");
    worker("b");
    a.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(db->QueryTable("SELECT UID from Operator")->RowCount(), 600u);
}

TEST_F(DatabaseTest, TransactionsRollBackUnlessCommittedAndOtherThreadsWaitForThem) {
    std::atomic<bool> inserted{false};
    std::thread other;
    {
        TSQLiteTransaction tx(*db);
        db->ExecuteSql("INSERT into Operator (Name) values('lost')");
        other = std::thread([&] {
            db->ExecuteSql("INSERT into Operator (Name) values('outside')");
            inserted = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(inserted.load()) << "the other statement must not join the transaction";
    }  // not committed: rolled back
    other.join();
    {
        TSQLiteTransaction tx(*db);
        db->ExecuteSql("INSERT into Operator (Name) values('kept')");
        tx.Commit();
    }
    EXPECT_EQ(db->QueryTable("SELECT group_concat(Name) from Operator")->FieldText(0),
              "outside,kept");
}

TEST_F(DatabaseTest, BoundStatementsStoreWhatTheirPlainTextsStoreAndReadTheirRows) {
    // The same statement run with bound values and with its values written in as literals
    // gives the same cells, kinds included; a statement keeps its bindings across runs.
    for (const bool inlineValues : {false, true}) {
        db->SetInlineValues(inlineValues);
        TSQLiteStatement insert(*db, "INSERT into Kinds (I,F,T,N,B) values(?,?,?,?,?)");
        insert.BindStoredText(1, "0042").BindFloat(2, 2.5).BindStoredText(3, "a<'\"&>\r\nb");
        insert.BindInt(4, -7).BindNull(5);
        EXPECT_EQ(insert.Insert(), inlineValues ? 3 : 1);
        EXPECT_EQ(insert.BindText(1, "it's").BindInt(3, 9).Insert(), inlineValues ? 4 : 2);
    }
    db->SetInlineValues(false);
    TSQLiteStatement select(*db,
                            "SELECT quote(I)||' '||quote(F)||' '||quote(T)||' '||quote(N)||' '||"
                            "quote(B) from Kinds WHERE F = ? ORDER BY rowid");
    select.BindFloat(1, 2.5);
    std::vector<std::string> rows;
    while (select.Step()) {
        rows.push_back(select.ColumnText(0));
    }
    const std::string first = "42 2.5 'a&lt;&apos;&quot;&amp;&gt;<br/>b' -7 NULL";
    const std::string second = "'it''s' 2.5 '9' -7 NULL";
    EXPECT_EQ(rows, (std::vector<std::string>{first, second, first, second}));
    EXPECT_EQ(select.FirstInt64(), 42) << "a finished query runs again from its start";
    EXPECT_EQ(select.BindFloat(1, 0).FirstInt64(-1), -1);
    EXPECT_EQ(MessageOf([&] { select.BindText(3, "x"); }).substr(0, 22), "Could not bind a value");
    auto update = db->Statement("UPDATE Kinds set T = ? WHERE N = ?");
    EXPECT_EQ(update->BindText(1, "y").BindInt(2, -7).Execute(), 4);
}

TEST_F(DatabaseTest, AZeroByteNeverCutsAStatementShort) {
    db->ExecuteSql("INSERT into Kinds (T) values('keep')");
    const std::string cut("DELETE from Kinds\0 WHERE T='other'", 34);
    EXPECT_THROW(db->ExecuteSql(cut), ESQLiteException);
    EXPECT_EQ(db->QueryTable("SELECT T from Kinds")->RowCount(), 1u);
}

TEST_F(DatabaseTest, ALockHeldByAnotherProgramIsWaitedForThenNamed) {
    TSQLiteDatabase other((dir / "test.db").string());
    other.ExecuteSql("BEGIN EXCLUSIVE");
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        other.ExecuteSql("COMMIT");
    });
    db->ExecuteSql("INSERT into Kinds (T) values('mine')");  // waits for the commit
    release.join();

    // Held longer than the busy timeout: the failure says why.
    other.ExecuteSql("BEGIN EXCLUSIVE");
    const Failure failure = FailureOf([&] { db->QueryTable("SELECT T from Kinds"); });
    other.ExecuteSql("ROLLBACK");
    EXPECT_EQ(failure.code, SQLITE_BUSY);
    EXPECT_NE(failure.message.find("database is locked"), std::string::npos) << failure.message;
}

TEST_F(DatabaseTest, AFullDatabaseSaysNoSpaceIsLeft) {
    db->QueryTable("PRAGMA max_page_count=1");  // as many pages as it has now
    const Failure failure =
        FailureOf([&] { db->ExecuteSql("INSERT into Kinds (B) values(zeroblob(100000))"); });
    EXPECT_EQ(failure.code, SQLITE_FULL);
    EXPECT_NE(failure.message.find("(нет места на диске)"), std::string::npos) << failure.message;
}

TEST(StoredText, EncodesEscapesAndOnlyTheCrLfPairAndDecodesBack) {
    const std::pair<std::string, std::string> cases[] = {
        {"<&\"", "&lt;&amp;&quot;"},   {"it's > 5", "it&apos;s &gt; 5"},
        {"&lt;", "&amp;lt;"},  // already escaped text survives the round trip
        {"<br/>", "&lt;br/&gt;"},      {"a\r\nb", "a<br/>b"},
        {"\r\r\n\n\r", "\r<br/>\n\r"}, {"Администратор", "Администратор"}};
    for (const auto& [text, stored] : cases) {
        EXPECT_EQ(StoredTextEncode(text), stored) << text;
        EXPECT_EQ(StoredTextDecode(stored), text) << stored;
    }
}

TEST(StoredText, AppendingGivesTheEncodedBytes) {
    for (const std::string text : {"", "plain 0000000A", "&x", "x'", "\"", "<", "x>", "a\r\nb",
                                   "\r", "x\r", "\n\r", "Данные получены=05.12.2026 14:03:09"}) {
        std::string stored = "head|";
        AppendStoredText(stored, text);
        EXPECT_EQ(stored, "head|" + StoredTextEncode(text)) << text;
        if (text.find_first_of("&'\"<>\r") == std::string::npos) {
            EXPECT_EQ(StoredTextEncode(text), text);
        }
    }
}

TEST(StoredText, ValuesBecomeSingleQuotedLiteralsThatNoValueCanEnd) {
    const std::string hostile = "') OR ('1'='1\"";
    EXPECT_EQ(StoredTextEncode(hostile).find_first_of("'\""), std::string::npos);
    EXPECT_EQ(SqlText(hostile), "'&apos;) OR (&apos;1&apos;=&apos;1&quot;'");
    EXPECT_EQ(SqlText("MeterADDR"), "'MeterADDR'");
    EXPECT_EQ(SqlInt(-12), "'-12'");
}

TEST(StoredText, InvalidBytesPassUnchangedAndOnlyEmptyTextFallsBack) {
    const std::string invalid = "\xFF\xC0 old";
    EXPECT_EQ(StoredTextDecode(invalid), invalid);
    EXPECT_EQ(StoredTextDecodeOr("", "нет"), "нет");
    EXPECT_EQ(StoredTextDecodeOr("&amp;", "нет"), "&");
    EXPECT_EQ(StoredTextDecodeOr(" ", "нет"), " ");
}

}  // namespace
}  // namespace zb::storage
