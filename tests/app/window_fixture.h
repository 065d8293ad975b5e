#pragma once
// The real operator window over a real database in a temporary program directory, with the
// link listening on an ephemeral loopback port. Operator messages are recorded, not shown.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStringList>
#include <QTreeWidget>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "server/runtime.h"
#include "storage/sqlite_database.h"
#include "testing/recorders.h"
#include "testing/temp_dir.h"

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '{' << list.join("\", \"").toStdString() << '}';
}

namespace zb::apptest {

class WindowTest : public ::testing::Test {
  public:
    void SetUp() override;
    void TearDown() override;

    // Runs statements on the database file before the window opens it (creating it first).
    void PrepareDatabase(const std::vector<std::string>& statements);
    // Copies the built catalogue and base plug-in into the program directory (before the window
    // starts, which loads them).
    void CopyShippedCatalogue();
    void StartWindow();
    void LoginAs(const QString& login, const QString& password);
    // Back to the main page, then along the links to the page (the log by an Alt-click on the
    // main page), as an operator goes there.
    void ShowPage(app::PageId id);
    // Starts the window and logs in as the built-in administrator where not yet done, then
    // shows the page.
    void OpenPage(app::PageId id);
    // Runs the concentrator simulator as `id` with the files under `root` for one session
    // against the link while the window handles its events and ticks; returns its exit code.
    int RunConcentrator(const char* id, const std::filesystem::path& root);

    template <class T = QWidget>
    T* Find(const QString& name) const {
        T* found = window_->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << "no widget " << name.toStdString();
        return found;
    }

    QLineEdit* Edit(const QString& name) const { return Find<QLineEdit>(name); }
    void Press(const QString& name) const { Click(Find(name)); }
    bool Enabled(const QString& name) const { return Find(name)->isEnabled(); }
    // Whether the widget of that name is shown (its stack page in front, not hidden).
    bool Showing(const QString& name) const { return Find(name)->isVisibleTo(window_.get()); }
    // A register page's add: from the root into add mode, the texts into its fields in order,
    // then save.
    void AddRecord(const QString& prefix, const QStringList& texts);
    // A register page's text fields in the order of the form.
    QList<QLineEdit*> Fields(const QString& prefix) const {
        return window_->findChildren<QLineEdit*>(QRegularExpression("^LabeledEdit" + prefix));
    }

    static void Click(QWidget* widget);
    // Types the text character by character as key presses (any alphabet).
    static void Type(QWidget* widget, const QString& text);
    static void ClickItem(QTreeWidget* tree, QTreeWidgetItem* item);
    // Clicks a cell of a grid or a row of a list.
    static void ClickRow(QAbstractItemView* view, int row, int column = 0) {
        ClickIn(view, view->visualRect(view->model()->index(row, column)));
    }
    static void ClickIn(QAbstractItemView* view, const QRect& rect);
    static QTreeWidgetItem* ChildByText(QTreeWidget* tree, const QString& text) {
        const int index = ChildTexts(tree).indexOf(text);
        return index < 0 ? nullptr : tree->topLevelItem(0)->child(index);
    }
    static QStringList ChildTexts(QTreeWidget* tree);
    // Handles the window thread's queued events until `done` holds or the time is up.
    static bool WaitFor(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));
    static void Flush() { QCoreApplication::processEvents(); }

    int64_t Count(const std::string& table, const std::string& where = "");

    testing::TempDir dir_;
    std::shared_ptr<testing::MessageRecorder> messages_;
    std::unique_ptr<server::Runtime> runtime_;
    std::unique_ptr<app::MainWindow> window_;
};

}  // namespace zb::apptest
