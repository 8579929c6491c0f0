#include "ui/zek_help_u.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/utilities.h"

namespace zek {
namespace {

QString Heading(const QString& text, QChar underline) {
  return text + "\n" + QString(text.size(), underline) + "\n";
}

}  // namespace

QString UsageHelpText() {
  // Paragraphs are single lines: the memo wraps them to its width.
  return Heading(kProductTitle, u'=') + "\n" +
         Heading("Overview", u'-') +
         "ZEK32 compares two directory trees byte by byte. Any differences are reported in the message "
         "window and, if you wish, in a report file.\n"
         "\n" +
         Heading("Source and Target", u'-') +
         "You give two directory paths. Every file of the source directory is looked for in the target "
         "directory and compared with it, but not vice versa. Example:\n"
         "\n"
         "Source:  /home/user/data/*.*\n"
         "Target:   /media/backup/*.*\n"
         "\n"
         "All files in /home/user/data, and in its subdirectories when \"Include Sub-Directories\" is "
         "checked, are compared with those in /media/backup. Files that exist only in /media/backup are "
         "neither found nor reported.\n"
         "\n"
         "To compare only text files:\n"
         "\n"
         "Source:  /home/user/mydir/*.txt\n"
         "Target:   /media/backup/*.*\n"
         "\n" +
         Heading("Parameter", u'-') +
         "You can start ZEK32 with the source and target as parameters:\n"
         "\n"
         "zek32 '/home/user/data/*.txt' /media/backup/\n"
         "\n"
         "Put the source in quotes: otherwise the shell replaces the mask with the names it matches.\n"
         "\n" +
         Heading("Questions, Remarks", u'-') +
         "Questions and remarks are welcome: please send them to the author.\n";
}

namespace {

// A plain top-level widget reads as a "filler" to a screen reader; this one is a window.
QAccessibleInterface* HelpWindowAccessible(const QString&, QObject* object) {
  if (auto* help = qobject_cast<TfrmHelp*>(object)) return new QAccessibleWidget(help, QAccessible::Window);
  return nullptr;
}

}  // namespace

TfrmHelp::TfrmHelp() {
  // Once, for every help window there will be.
  static const bool accessibleAsWindow = [] {
    QAccessible::installFactory(HelpWindowAccessible);
    return true;
  }();
  Q_UNUSED(accessibleAsWindow);
  setWindowTitle("How to use ZEK32");
  setFont(WindowsFont(13));
  // Closing only hides the window; it never ends the program.
  setAttribute(Qt::WA_QuitOnClose, false);

  HelpMemo = new QPlainTextEdit(this);
  HelpMemo->setReadOnly(true);
  HelpMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  HelpMemo->setFont(WindowsFont(17));
  HelpMemo->setPlainText(UsageHelpText());
  HelpMemo->setAccessibleName("How to use ZEK32");

  btnClose = new QPushButton("Close", this);
  connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
  setTabOrder(HelpMemo, btnClose);

  ResizeOuter(this, 691, 507);
}

void TfrmHelp::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const HelpLayout layout = ComputeHelpLayout(width(), height());
  SetBounds(HelpMemo, layout.HelpMemo);
  SetBounds(btnClose, layout.btnClose);
}

}  // namespace zek
