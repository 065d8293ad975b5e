// Every control an operator can work, on the login panel and on every page, carries its own
// accessible name: what a screen reader says, and how one control is told from another.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTest>
#include <map>
#include <set>

#include "app/xml_window.h"
#include "window_fixture.h"

namespace zb::apptest {
namespace {

using app::PageId;

template <class... Kinds>
bool IsAny(const QWidget* widget) {
    return ((qobject_cast<const Kinds*>(widget) != nullptr) || ...);
}

bool Operable(const QWidget* widget) {
    return IsAny<QAbstractButton, QLineEdit, QComboBox, QAbstractSpinBox, QPlainTextEdit,
                 QAbstractItemView>(widget) &&
           !IsAny<QHeaderView>(widget);
}

// A part of a composite control (a combo box's list, a tab bar's scroll buttons) is named by
// the control itself; Qt's own parts (a calendar's buttons and view) carry "qt_" names.
bool PartOfAControl(const QWidget* widget, const QWidget* top) {
    for (const QWidget* up = widget->parentWidget(); up != nullptr && up != top;
         up = up->parentWidget()) {
        if (IsAny<QComboBox, QAbstractSpinBox, QTabBar, QAbstractItemView>(up)) {
            return true;
        }
    }
    return widget->objectName().startsWith("qt_");
}

// What a screen reader says for the control. A combo box on this platform reports its current
// text as its name and takes its caption from the label that names it, so it counts by its own
// accessible name or that label.
QString NameOf(QWidget* widget, const QWidget* top) {
    if (qobject_cast<const QComboBox*>(widget) == nullptr) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        return face != nullptr ? face->text(QAccessible::Name) : QString();
    }
    if (!widget->accessibleName().isEmpty()) {
        return widget->accessibleName();
    }
    for (const QLabel* label : top->findChildren<QLabel*>()) {
        if (label->buddy() == widget) {
            return label->text();
        }
    }
    return {};
}

// Checks the operable controls under `top`; returns how many there were.
int CheckNames(QWidget* top, const QString& where) {
    std::map<QString, QString> seen;  // accessible name -> objectName
    int count = 0;
    for (QWidget* widget : top->findChildren<QWidget*>()) {
        if (!Operable(widget) || PartOfAControl(widget, top)) {
            continue;
        }
        ++count;
        const QString name = NameOf(widget, top);
        const QString id = widget->objectName();
        const std::string what =
            where.toStdString() + ": " + widget->metaObject()->className() + " " + id.toStdString();
        EXPECT_FALSE(id.isEmpty()) << what << " has no objectName";
        EXPECT_FALSE(name.trimmed().isEmpty()) << what << " has no accessible name";
        const auto [it, fresh] = seen.emplace(name, id);
        EXPECT_TRUE(fresh || name.isEmpty()) << what << " shares the name \"" << name.toStdString()
                                             << "\" with " << it->second.toStdString();
    }
    return count;
}

class AccessibleNamesTest : public WindowTest {};

// Every page, reached along its links, and the XML window. On the way, F5 reads again the pages
// that show what others change, and only those.
TEST_F(AccessibleNamesTest, EveryOperableControlHasItsOwnName) {
    StartWindow();
    EXPECT_EQ(CheckNames(Find<QWidget>("PanelLogin"), "login"), 4);
    LoginAs("KREMU", "KREMU");
    const std::set<PageId> refreshing = {PageId::UpLoad, PageId::Delete, PageId::MeasuringPoints,
                                         PageId::Network};
    int controls = 0;
    for (int i = 0; i < static_cast<int>(PageId::Count); ++i) {
        const auto id = static_cast<PageId>(i);
        ShowPage(id);
        controls += CheckNames(window_->PageOf(id), window_->PageOf(id)->objectName());
        const int loads = window_->PageOf(id)->Loads();
        QTest::keyClick(window_.get(), Qt::Key_F5);
        EXPECT_EQ(window_->PageOf(id)->Loads() - loads, static_cast<int>(refreshing.count(id)))
            << i;
    }
    // The register pages alone hold far more than this.
    EXPECT_GT(controls, 60);
    app::TFormMemoXML xmlWindow;
    EXPECT_EQ(CheckNames(&xmlWindow, "xml window"), 2);
}

}  // namespace
}  // namespace zb::apptest
