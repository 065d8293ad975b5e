#pragma once
// A page of the main window: its caption (what the trail shows) and its loader, which the link
// that opens the page runs, and F5 runs again on the pages that refresh.
#include <QPlainTextEdit>
#include <QWidget>
#include <string>
#include <vector>

#include "app/widgets.h"

namespace zb::app {

class Page : public QWidget {
    Q_OBJECT
  public:
    Page(const std::string& caption, const QString& name, QWidget* parent = nullptr);
    QString Caption() const { return caption_; }

    // Runs the page's loader and counts it.
    void RunLoader();
    int Loads() const { return loads_; }
    // Whether F5 runs the loader again while this page is in front.
    virtual bool RefreshOnF5() const { return false; }

  protected:
    virtual void Load() {}

  private:
    QString caption_;
    int loads_ = 0;
};

// A page of links, one under the other, with the page caption as its title.
class LinksPage : public Page {
    Q_OBJECT
  public:
    // `title` heads the page (the caption when empty).
    LinksPage(const std::string& caption, const QString& name, QWidget* parent = nullptr,
              const std::string& title = {});
    LinkLabel* AddLink(const std::string& text, const QString& name);

  private:
    QWidget* links_;
};

// The main links page. A click on its background while Alt is held opens the log.
class MainLinksPage : public LinksPage {
    Q_OBJECT
  public:
    using LinksPage::LinksPage;

  signals:
    void altClicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// A page whose working parts come with their own screens: it shows its prompt.
class PromptPage : public Page {
    Q_OBJECT
  public:
    PromptPage(const std::string& caption, const QString& name, const std::string& prompt,
               bool refreshOnF5, QWidget* parent = nullptr);
    bool RefreshOnF5() const override { return refreshOnF5_; }

  private:
    bool refreshOnF5_;
};

// The log: a read-only, scrolling text that keeps the last 257 lines.
class LogPage : public Page {
    Q_OBJECT
  public:
    explicit LogPage(QWidget* parent = nullptr);
    void Append(const QString& line);

  private:
    QPlainTextEdit* memo_;
};

}  // namespace zb::app
