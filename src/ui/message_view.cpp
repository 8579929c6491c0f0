#include "ui/message_view.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "ui/utilities.h"

namespace zek {
namespace {

constexpr int kMargin = 4;
constexpr size_t kChunkBytes = size_t{1} << 20;

// The copied selection: the chunks it spans and its two ends, put together
// into text when a program asks for it.
class SelectionData : public QMimeData {
 public:
  SelectionData(std::vector<std::shared_ptr<TMessageView::Chunk>> chunks, size_t endOffset)
      : chunks_(std::move(chunks)), end_(endOffset) {}
  size_t Begin = 0;  // in the first chunk

  QStringList formats() const override { return {QStringLiteral("text/plain")}; }
  bool hasFormat(const QString& type) const override { return type == QLatin1String("text/plain"); }

 protected:
  QVariant retrieveData(const QString& type, QMetaType wanted) const override {
    if (!hasFormat(type)) return {};
    QByteArray bytes;
    size_t size = 0;
    for (size_t i = 0; i < chunks_.size(); ++i) size += Slice(i).second;
    bytes.reserve(static_cast<qsizetype>(size));
    for (size_t i = 0; i < chunks_.size(); ++i) {
      const auto [from, length] = Slice(i);
      bytes.append(chunks_[i]->Bytes.data() + from, static_cast<qsizetype>(length));
    }
    if (wanted == QMetaType::fromType<QString>()) return QString::fromUtf8(bytes);
    return bytes;
  }

 private:
  std::pair<size_t, size_t> Slice(size_t i) const {
    const size_t from = i == 0 ? Begin : 0;
    const size_t to = i + 1 == chunks_.size() ? end_ : chunks_[i]->Bytes.size();
    return {from, to - from};
  }
  std::vector<std::shared_ptr<TMessageView::Chunk>> chunks_;
  size_t end_;
};

}  // namespace

// The lines as one read-only text for screen readers, read by line or by
// character; offsets count UTF-16 units, each line ended by "\n".
class TMessageViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit TMessageViewAccessible(TMessageView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    return state;
  }

  int characterCount() const override {
    return View().LineCount() == 0 ? 0 : static_cast<int>(Start(View().LineCount()) - 1);
  }
  QString text(int startOffset, int endOffset) const override {
    TMessageView& view = View();
    if (view.LineCount() == 0 || endOffset <= startOffset) return {};
    const TMessageView::Position from = At(startOffset), to = At(endOffset);
    QStringList lines;
    for (qsizetype line = from.Line; line <= to.Line; ++line) {
      const QString text = view.LineText(line);
      const qsizetype begin = line == from.Line ? from.Column : 0;
      lines << text.mid(begin, (line == to.Line ? to.Column : text.size()) - begin);
    }
    return lines.join(QChar('\n'));
  }
  int cursorPosition() const override { return Offset(View().cursor_); }
  void setCursorPosition(int position) override { View().MoveCursor(At(position), false); }
  int selectionCount() const override { return View().anchor_ != View().cursor_ ? 1 : 0; }
  void selection(int, int* startOffset, int* endOffset) const override {
    *startOffset = Offset(std::min(View().anchor_, View().cursor_));
    *endOffset = Offset(std::max(View().anchor_, View().cursor_));
  }
  void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
  void removeSelection(int) override { View().MoveCursor(View().cursor_, false); }
  void setSelection(int, int startOffset, int endOffset) override {
    View().MoveCursor(At(startOffset), false);
    View().MoveCursor(At(endOffset), true);
  }
  QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                       int* endOffset) const override {
    return Piece(offset, boundary, 0, startOffset, endOffset);
  }
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                           int* endOffset) const override {
    return Piece(offset, boundary, -1, startOffset, endOffset);
  }
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                          int* endOffset) const override {
    return Piece(offset, boundary, 1, startOffset, endOffset);
  }
  QRect characterRect(int offset) const override {
    TMessageView& view = View();
    if (view.LineCount() == 0) return {};
    const TMessageView::Position at = At(offset);
    const QString text = view.LineText(at.Line);
    const QFontMetrics metrics = view.fontMetrics();
    const QPoint topLeft(kMargin - view.horizontalScrollBar()->value() + metrics.horizontalAdvance(text.left(at.Column)),
                         kMargin / 2 + static_cast<int>(at.Line - view.FirstVisibleLine()) * view.LineHeight());
    const int width = at.Column < text.size() ? metrics.horizontalAdvance(text.at(at.Column)) : 1;
    return QRect(view.viewport()->mapToGlobal(topLeft), QSize(width, view.LineHeight()));
  }
  int offsetAtPoint(const QPoint& point) const override {
    return Offset(View().PositionAt(View().viewport()->mapFromGlobal(point)));
  }
  void scrollToSubstring(int startIndex, int) override { View().EnsureVisible(At(startIndex)); }
  QString attributes(int offset, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = offset;
    return {};
  }

 private:
  TMessageView& View() const { return *static_cast<TMessageView*>(widget()); }
  // Where a line starts in the text; one past the last line gives the length + 1.
  qsizetype Start(qsizetype line) const {
    TMessageView& view = View();
    std::vector<qsizetype>& starts = view.characterStarts_;
    if (starts.empty()) starts.push_back(0);
    while (static_cast<qsizetype>(starts.size()) <= line)
      starts.push_back(starts.back() + view.LineText(static_cast<qsizetype>(starts.size()) - 1).size() + 1);
    return starts[static_cast<size_t>(line)];
  }
  int Offset(const TMessageView::Position& at) const {
    return View().LineCount() == 0 ? 0 : static_cast<int>(Start(at.Line) + at.Column);
  }
  TMessageView::Position At(int offset) const {
    const qsizetype count = View().LineCount();
    if (count == 0) return {};
    Start(count);
    const std::vector<qsizetype>& starts = View().characterStarts_;
    const auto after = std::upper_bound(starts.begin(), starts.begin() + count, static_cast<qsizetype>(std::max(0, offset)));
    const qsizetype line = (after - starts.begin()) - 1;
    return {line, std::min<qsizetype>(offset - starts[static_cast<size_t>(line)], View().LineText(line).size())};
  }
  // The line (or character) at offset, or the one before or after it.
  QString Piece(int offset, QAccessible::TextBoundaryType boundary, int step, int* startOffset, int* endOffset) const {
    *startOffset = *endOffset = -1;
    const int count = characterCount();
    if (View().LineCount() == 0) return {};
    if (boundary == QAccessible::NoBoundary) {
      *startOffset = 0;
      *endOffset = count;
      return text(0, count);
    }
    if (boundary == QAccessible::CharBoundary) {
      const int at = offset + step;
      if (at < 0 || at >= count) return {};
      *startOffset = at;
      *endOffset = at + 1;
      return text(at, at + 1);
    }
    // Words, sentences and paragraphs are read as the line that holds them.
    const qsizetype line = At(offset).Line + step;
    if (line < 0 || line >= View().LineCount()) return {};
    *startOffset = static_cast<int>(Start(line));
    *endOffset = std::min(count, static_cast<int>(Start(line + 1)));  // the last line has no "\n"
    return View().LineText(line) + (line + 1 < View().LineCount() ? QStringLiteral("\n") : QString());
  }
};

namespace {

QAccessibleInterface* MessageViewAccessible(const QString&, QObject* object) {
  if (auto* view = qobject_cast<TMessageView*>(object)) return new TMessageViewAccessible(view);
  return nullptr;
}

}  // namespace

TMessageView::TMessageView(QWidget* parent) : QAbstractScrollArea(parent) {
  static const bool accessible = [] {
    QAccessible::installFactory(MessageViewAccessible);
    return true;
  }();
  Q_UNUSED(accessible);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  viewport()->setCursor(Qt::IBeamCursor);
  // Text and base both come from the palette, so any colour scheme reads.
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  verticalScrollBar()->setSingleStep(1);
  UpdateScrollBars();
}

void TMessageView::clear() {
  chunks_.clear();
  characterStarts_.clear();
  lines_.clear();
  lines_.shrink_to_fit();
  longestLine_ = 0;
  widestSeen_ = 0;
  anchor_ = cursor_ = {};
  UpdateScrollBars();
  viewport()->update();
}

void TMessageView::Append(const std::string& line) {
  const size_t needed = line.size() + 1;
  if (chunks_.empty() || chunks_.back()->Bytes.capacity() - chunks_.back()->Bytes.size() < needed) {
    auto chunk = std::make_shared<Chunk>();
    chunk->Bytes.reserve(std::max(kChunkBytes, needed));
    chunks_.push_back(std::move(chunk));
  }
  std::string& bytes = chunks_.back()->Bytes;
  lines_.push_back({static_cast<uint32_t>(chunks_.size() - 1), static_cast<uint32_t>(bytes.size()),
                    static_cast<uint32_t>(line.size())});
  bytes += line;
  bytes += '\n';
  longestLine_ = std::max(longestLine_, line.size());
}

void TMessageView::ShowAppended() {
  // The bar's range is still the one of the lines shown before.
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() >= bar->maximum();
  UpdateScrollBars();
  if (atEnd) bar->setValue(bar->maximum());
  viewport()->update();
}

std::string TMessageView::Line(qsizetype line) const {
  const LineRef& ref = lines_[static_cast<size_t>(line)];
  return chunks_[ref.Chunk]->Bytes.substr(ref.Offset, ref.Length);
}

QString TMessageView::LineText(qsizetype line) const { return FromNative(Line(line)); }

QString TMessageView::toPlainText() const {
  QStringList lines;
  for (qsizetype i = 0; i < LineCount(); ++i) lines.append(LineText(i));
  return lines.join(QChar('\n'));
}

void TMessageView::selectAll() {
  if (lines_.empty()) return;
  anchor_ = {0, 0};
  cursor_ = {LineCount() - 1, LineText(LineCount() - 1).size()};
  viewport()->update();
}

std::pair<size_t, size_t> TMessageView::ByteOffset(const Position& position) const {
  const LineRef& ref = lines_[static_cast<size_t>(position.Line)];
  return {ref.Chunk, ref.Offset + ToNative(LineText(position.Line).left(position.Column)).size()};
}

std::string TMessageView::SelectedBytes() const {
  const QByteArray bytes = std::unique_ptr<QMimeData>(Selection())->data(QStringLiteral("text/plain"));
  return bytes.toStdString();
}

QMimeData* TMessageView::Selection() const {
  const Position from = std::min(anchor_, cursor_);
  const Position to = std::max(anchor_, cursor_);
  if (from == to) return new QMimeData;
  const auto [firstChunk, begin] = ByteOffset(from);
  const auto [lastChunk, end] = ByteOffset(to);
  auto* data = new SelectionData({chunks_.begin() + firstChunk, chunks_.begin() + lastChunk + 1}, end);
  data->Begin = begin;
  return data;
}

void TMessageView::copy() {
  if (anchor_ != cursor_) QApplication::clipboard()->setMimeData(Selection());
}

int TMessageView::LineHeight() const { return std::max(1, fontMetrics().lineSpacing()); }

int TMessageView::VisibleLines() const { return std::max(1, (viewport()->height() - kMargin) / LineHeight()); }

qsizetype TMessageView::FirstVisibleLine() const { return verticalScrollBar()->value(); }

void TMessageView::UpdateScrollBars() {
  const int visible = VisibleLines();
  QScrollBar* bar = verticalScrollBar();
  bar->setPageStep(visible);
  bar->setRange(0, static_cast<int>(std::max<qsizetype>(0, LineCount() - visible)));
  // The longest line in bytes stands for the widest; a wider one on screen widens the range.
  const int average = fontMetrics().averageCharWidth();
  const int width = std::max(widestSeen_, static_cast<int>(std::min<size_t>(longestLine_, 100000)) * average);
  QScrollBar* across = horizontalScrollBar();
  across->setPageStep(viewport()->width());
  across->setSingleStep(std::max(1, average * 4));
  across->setRange(0, std::max(0, width + 2 * kMargin - viewport()->width()));
}

void TMessageView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QPalette& colours = palette();
  const int height = LineHeight();
  const int ascent = fontMetrics().ascent();
  const int left = kMargin - horizontalScrollBar()->value();
  const Position from = std::min(anchor_, cursor_);
  const Position to = std::max(anchor_, cursor_);
  const qsizetype first = FirstVisibleLine();
  const qsizetype last = std::min(LineCount(), first + VisibleLines() + 1);
  const QFontMetrics metrics = fontMetrics();
  int widest = widestSeen_;
  for (qsizetype line = first; line < last; ++line) {
    const QString text = LineText(line);
    const int top = kMargin / 2 + static_cast<int>(line - first) * height;
    const int textWidth = metrics.horizontalAdvance(text);
    widest = std::max(widest, textWidth);
    painter.setPen(colours.color(QPalette::Text));
    painter.drawText(left, top + ascent, text);
    if (from.Line <= line && line <= to.Line && from != to) {
      const qsizetype start = line == from.Line ? from.Column : 0;
      const qsizetype end = line == to.Line ? to.Column : text.size();
      const int x0 = left + metrics.horizontalAdvance(text.left(start));
      // A selected line end shows as a little more highlight after the text.
      const int x1 = left + metrics.horizontalAdvance(text.left(end)) + (line < to.Line ? metrics.averageCharWidth() : 0);
      painter.fillRect(QRect(x0, top, x1 - x0, height), colours.color(QPalette::Highlight));
      painter.setPen(colours.color(QPalette::HighlightedText));
      painter.drawText(x0, top + ascent, text.mid(start, end - start));
    }
    if (hasFocus() && line == cursor_.Line) {
      const int x = left + metrics.horizontalAdvance(text.left(cursor_.Column));
      painter.fillRect(QRect(x, top, 1, height), colours.color(QPalette::Text));
    }
  }
  if (hasFocus() && LineCount() == 0) painter.fillRect(QRect(left, kMargin / 2, 1, height), colours.color(QPalette::Text));
  if (widest > widestSeen_) {
    widestSeen_ = widest;
    UpdateScrollBars();
  }
}

void TMessageView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void TMessageView::EnsureVisible(const Position& position) {
  QScrollBar* bar = verticalScrollBar();
  if (position.Line < bar->value()) bar->setValue(static_cast<int>(position.Line));
  if (position.Line >= bar->value() + VisibleLines()) bar->setValue(static_cast<int>(position.Line - VisibleLines() + 1));
  const QString text = lines_.empty() ? QString() : LineText(position.Line);
  const int x = fontMetrics().horizontalAdvance(text.left(position.Column));
  QScrollBar* across = horizontalScrollBar();
  if (x < across->value()) across->setValue(x);
  if (x + 2 * kMargin > across->value() + viewport()->width()) across->setValue(x + 2 * kMargin - viewport()->width());
}

void TMessageView::MoveCursor(Position to, bool extend) {
  if (lines_.empty()) return;
  to.Line = std::clamp<qsizetype>(to.Line, 0, LineCount() - 1);
  to.Column = std::clamp<qsizetype>(to.Column, 0, LineText(to.Line).size());
  cursor_ = to;
  if (!extend) anchor_ = to;
  EnsureVisible(to);
  viewport()->update();
}

void TMessageView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::SelectAll)) return selectAll();
  if (event->matches(QKeySequence::Copy)) return copy();
  const bool extend = event->modifiers() & Qt::ShiftModifier;
  const bool control = event->modifiers() & Qt::ControlModifier;
  const qsizetype page = VisibleLines();
  Position to = cursor_;
  switch (event->key()) {
    case Qt::Key_Up:
      --to.Line;
      break;
    case Qt::Key_Down:
      ++to.Line;
      break;
    case Qt::Key_PageUp:
      to.Line -= page;
      break;
    case Qt::Key_PageDown:
      to.Line += page;
      break;
    case Qt::Key_Left:
      if (to.Column > 0) {
        --to.Column;
      } else if (to.Line > 0) {
        --to.Line;
        to.Column = LineText(to.Line).size();
      }
      break;
    case Qt::Key_Right:
      if (!lines_.empty() && to.Column < LineText(to.Line).size()) {
        ++to.Column;
      } else {
        ++to.Line;
        to.Column = to.Line < LineCount() ? 0 : to.Column;
      }
      break;
    case Qt::Key_Home:
      to = control ? Position{0, 0} : Position{to.Line, 0};
      break;
    case Qt::Key_End:
      to.Line = control ? LineCount() - 1 : to.Line;
      to.Column = lines_.empty() ? 0 : LineText(std::max<qsizetype>(0, to.Line)).size();
      break;
    default:
      return QAbstractScrollArea::keyPressEvent(event);
  }
  MoveCursor(to, extend);
}

TMessageView::Position TMessageView::PositionAt(const QPoint& point) const {
  if (lines_.empty()) return {};
  const qsizetype line = std::clamp<qsizetype>(FirstVisibleLine() + (point.y() - kMargin / 2) / LineHeight(), 0,
                                               LineCount() - 1);
  const QString text = LineText(line);
  const int x = point.x() - kMargin + horizontalScrollBar()->value();
  const QFontMetrics metrics = fontMetrics();
  qsizetype column = 0;
  while (column < text.size() &&
         metrics.horizontalAdvance(text.left(column)) + metrics.horizontalAdvance(text.at(column)) / 2 < x)
    ++column;
  return {line, column};
}

void TMessageView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  MoveCursor(PositionAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void TMessageView::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) MoveCursor(PositionAt(event->position().toPoint()), true);
}

void TMessageView::mouseDoubleClickEvent(QMouseEvent* event) {
  // A double click selects the whole line.
  if (event->button() != Qt::LeftButton || lines_.empty()) return;
  const Position at = PositionAt(event->position().toPoint());
  MoveCursor({at.Line, 0}, false);
  MoveCursor({at.Line, LineText(at.Line).size()}, true);
}

void TMessageView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copyAction = menu.addAction(tr("&Copy"), QKeySequence::Copy, this, &TMessageView::copy);
  copyAction->setEnabled(anchor_ != cursor_);
  menu.addAction(tr("Select &All"), QKeySequence::SelectAll, this, &TMessageView::selectAll);
  menu.exec(event->globalPos());
}

void TMessageView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void TMessageView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

void TMessageView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    widestSeen_ = 0;
    UpdateScrollBars();
  }
}

}  // namespace zek
