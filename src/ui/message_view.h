#pragma once
// The main window's message window: a read-only list of text lines that stays
// quick with millions of them. The lines are kept as their bytes in one buffer
// and only the rows on screen are laid out, so appending, scrolling, selecting
// all and copying do not grow with the number of lines the way a text
// document does.
#include <QAbstractScrollArea>
#include <QString>
#include <memory>
#include <string>
#include <vector>

class QMimeData;

namespace zek {

class TMessageViewAccessible;

class TMessageView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  // A place in the text: a line and a character (UTF-16 unit) within it.
  struct Position {
    qsizetype Line = 0;
    qsizetype Column = 0;
    auto operator<=>(const Position&) const = default;
  };

  explicit TMessageView(QWidget* parent = nullptr);

  void clear();
  // Stores a line at the end; it is shown by the next ShowAppended.
  void Append(const std::string& line);
  // Shows the lines appended since the last call; a view that showed the last
  // line goes on showing it.
  void ShowAppended();

  qsizetype LineCount() const { return static_cast<qsizetype>(lines_.size()); }
  std::string Line(qsizetype line) const;
  // All lines, joined by "\n".
  QString toPlainText() const;

  void selectAll();
  // The selected text, lines joined by "\n", as bytes.
  std::string SelectedBytes() const;
  // Puts the selection on the clipboard. Its text is put together only when
  // it is pasted, so that copying a million lines does not hold the window.
  void copy();
  Position CursorPosition() const { return cursor_; }
  Position AnchorPosition() const { return anchor_; }
  qsizetype FirstVisibleLine() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  friend class TMessageViewAccessible;
  QString LineText(qsizetype line) const;
  int LineHeight() const;
  int VisibleLines() const;
  void UpdateScrollBars();
  Position PositionAt(const QPoint& point) const;
  // Moves the cursor; without extend the anchor follows it and nothing stays selected.
  void MoveCursor(Position to, bool extend);
  void EnsureVisible(const Position& position);
  // A new clipboard record of the selection.
  QMimeData* Selection() const;
  // Where a position lies in the chunks: chunk and byte offset.
  std::pair<size_t, size_t> ByteOffset(const Position& position) const;

 public:
  // The lines are kept in chunks that never move once written, each line
  // followed by "\n", so that a selection is one run of bytes across them and
  // the clipboard can share them.
  struct Chunk {
    std::string Bytes;  // reserved once, never reallocated
  };
  struct LineRef {
    uint32_t Chunk;
    uint32_t Offset;
    uint32_t Length;
  };

 private:
  std::vector<std::shared_ptr<Chunk>> chunks_;
  std::vector<LineRef> lines_;
  // For screen readers: where each line starts in the text as UTF-16 units,
  // lines ended by "\n"; filled up only when one asks.
  mutable std::vector<qsizetype> characterStarts_;
  size_t longestLine_ = 0;  // bytes of the longest line, for the horizontal range
  int widestSeen_ = 0;      // pixels of the widest line painted so far
  Position anchor_;
  Position cursor_;
};

}  // namespace zek
