#include "ui/preview/preview_delegate.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QPainter>
#include <QTextLayout>
#include <QTreeView>
#include <algorithm>

#include "ui/preview/preview_model.h"

namespace {

constexpr int kPadding = 3;  // above and below the text of a row
constexpr int kMargin = 6;   // left of everything, between the columns
// How much of a long line is laid out around its highlight: enough to fill
// the widest window, little enough that a megabyte-long line stays quick.
constexpr int kContextBefore = 200;
constexpr int kContextAfter = 600;
const QColor kRemoved(215, 58, 73);
const QColor kAdded(40, 167, 69);

// A colour between two others, so that the tints follow the palette: pale
// on a light base, deep on a dark one, and the text stays readable on both.
QColor mix(const QColor& from, const QColor& to, qreal share) {
  return QColor::fromRgbF(from.redF() + (to.redF() - from.redF()) * share,
                          from.greenF() + (to.greenF() - from.greenF()) * share,
                          from.blueF() + (to.blueF() - from.blueF()) * share);
}

QFont monoFont(const QFont& base) {
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (base.pointSizeF() > 0)
    mono.setPointSizeF(base.pointSizeF());
  else
    mono.setPixelSize(base.pixelSize());
  return mono;
}

QFont boldFont(const QFont& base) {
  QFont bold = base;
  bold.setBold(true);
  return bold;
}

// Draws text on one line within area, starting a little before the span
// when the span would otherwise sit at the right edge or beyond it.
void drawSpanLine(QPainter* painter, const QRectF& area, const QString& text,
                  int spanStart, int spanLength, const QFont& font,
                  const QTextCharFormat& spanFormat, const QColor& background) {
  spanStart = std::clamp(spanStart, 0, int(text.size()));
  spanLength = std::clamp(spanLength, 0, int(text.size()) - spanStart);
  int from = std::max(0, spanStart - kContextBefore);
  int to =
      std::min(int(text.size()),
               spanStart + std::min(spanLength, kContextAfter) + kContextAfter);
  if (from > 0 && text[from].isLowSurrogate()) --from;
  if (to < text.size() && text[to].isLowSurrogate()) ++to;

  QTextLayout layout(text.mid(from, to - from), font);
  QTextOption textOption;
  textOption.setWrapMode(QTextOption::NoWrap);
  textOption.setTextDirection(Qt::LeftToRight);
  layout.setTextOption(textOption);
  layout.setFormats({{spanStart - from, spanLength, spanFormat}});
  layout.beginLayout();
  QTextLine line = layout.createLine();
  line.setLineWidth(area.width());
  layout.endLayout();

  const qreal spanX = line.cursorToX(spanStart - from);
  const qreal shift =
      spanX > area.width() * 3 / 4 ? spanX - area.width() / 4 : 0;
  const qreal top = area.top() + (area.height() - line.height()) / 2;
  painter->save();
  painter->setClipRect(area);
  layout.draw(painter, QPointF(area.left() - shift, top));

  const QString ellipsis(QChar(0x2026));
  const qreal ellipsisWidth = QFontMetricsF(font).horizontalAdvance(ellipsis);
  auto drawEllipsis = [&](qreal x) {
    const QRectF box(x, area.top(), ellipsisWidth + 4, area.height());
    painter->fillRect(box, background);
    painter->drawText(box, Qt::AlignCenter, ellipsis);
  };
  painter->setFont(font);
  if (from > 0 || shift > 0) drawEllipsis(area.left());
  if (to < text.size() || line.naturalTextWidth() - shift > area.width())
    drawEllipsis(area.right() - ellipsisWidth - 4);
  painter->restore();
}

}  // namespace

void PreviewDelegate::setUpView(QTreeView* view, QAbstractItemModel* model) {
  view->setModel(model);
  view->setItemDelegate(new PreviewDelegate(view));
  view->setHeaderHidden(true);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setSelectionMode(QAbstractItemView::NoSelection);
  view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view->header()->setStretchLastSection(true);
}

PreviewDelegate::PreviewDelegate(QObject* parent)
    : QStyledItemDelegate(parent) {}

QSize PreviewDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex&) const {
  const int height = std::max({QFontMetrics(monoFont(option.font)).height(),
                               QFontMetrics(boldFont(option.font)).height(),
                               option.fontMetrics.height()});
  return QSize(textLeft(option) + 400, height + 2 * kPadding);
}

void PreviewDelegate::paint(QPainter* painter,
                            const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
  switch (index.data(PreviewModel::KindRole).toInt()) {
    case PreviewModel::DocumentRow:
      paintDocument(painter, option, index);
      break;
    case PreviewModel::BeforeRow:
      paintLine(painter, option, index, true);
      break;
    case PreviewModel::AfterRow:
      paintLine(painter, option, index, false);
      break;
    case PreviewModel::ReasonRow:
      paintReason(painter, option, index);
      break;
  }
}

int PreviewDelegate::gutterWidth(const QStyleOptionViewItem& option) const {
  return QFontMetrics(monoFont(option.font))
      .horizontalAdvance(QStringLiteral("00000"));
}

int PreviewDelegate::textLeft(const QStyleOptionViewItem& option) const {
  const QFontMetrics metrics(monoFont(option.font));
  return kMargin + gutterWidth(option) + kMargin +
         metrics.horizontalAdvance(QLatin1Char('+')) + kMargin;
}

void PreviewDelegate::paintDocument(QPainter* painter,
                                    const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
  const QPalette& palette = option.palette;
  const QRect rect = option.rect;
  painter->save();
  painter->fillRect(rect, mix(palette.color(QPalette::Base),
                              palette.color(QPalette::Text), 0.07));
  if (index.row() > 0) {
    painter->setPen(mix(palette.color(QPalette::Base),
                        palette.color(QPalette::Text), 0.25));
    painter->drawLine(rect.topLeft(), rect.topRight());
  }
  const QFont bold = boldFont(option.font);
  const QString name = index.data(Qt::DisplayRole).toString();
  QRect textRect = rect.adjusted(kMargin, 0, -kMargin, 0);
  painter->setFont(bold);
  painter->setPen(palette.color(QPalette::Text));
  const QString shown = QFontMetrics(bold).elidedText(name, Qt::ElideMiddle,
                                                      textRect.width() * 3 / 4);
  painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, shown);
  textRect.setLeft(textRect.left() +
                   QFontMetrics(bold).horizontalAdvance(shown) + 2 * kMargin);
  painter->setFont(option.font);
  painter->setPen(palette.color(QPalette::PlaceholderText));
  painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                    index.data(PreviewModel::DetailRole).toString());
  painter->restore();
}

void PreviewDelegate::paintLine(QPainter* painter,
                                const QStyleOptionViewItem& option,
                                const QModelIndex& index, bool before) const {
  const QPalette& palette = option.palette;
  const QColor base = palette.color(QPalette::Base);
  const QColor hue = before ? kRemoved : kAdded;
  const QColor background = mix(base, hue, 0.08);
  const QFont mono = monoFont(option.font);
  const QRect rect = option.rect;
  painter->save();
  painter->fillRect(rect, background);
  painter->setFont(mono);
  int x = rect.left() + kMargin;
  if (before) {
    painter->setPen(palette.color(QPalette::PlaceholderText));
    painter->drawText(QRect(x, rect.top(), gutterWidth(option), rect.height()),
                      Qt::AlignRight | Qt::AlignVCenter | Qt::TextDontClip,
                      index.data(PreviewModel::LineNumberRole).toString());
  }
  x += gutterWidth(option) + kMargin;
  painter->setPen(mix(palette.color(QPalette::Text), hue, 0.8));
  painter->drawText(QRect(x, rect.top(), rect.right() - x, rect.height()),
                    Qt::AlignLeft | Qt::AlignVCenter,
                    before ? QStringLiteral("\u2212") : QStringLiteral("+"));

  QTextCharFormat spanFormat;
  spanFormat.setBackground(mix(base, hue, 0.35));
  spanFormat.setFontStrikeOut(before);
  painter->setPen(palette.color(QPalette::Text));
  const QRectF area(rect.left() + textLeft(option), rect.top(),
                    rect.width() - textLeft(option) - kMargin, rect.height());
  drawSpanLine(painter, area, index.data(Qt::DisplayRole).toString(),
               index.data(PreviewModel::SpanStartRole).toInt(),
               index.data(PreviewModel::SpanLengthRole).toInt(), mono,
               spanFormat, background);
  painter->restore();
}

void PreviewDelegate::paintReason(QPainter* painter,
                                  const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
  QFont italic = option.font;
  italic.setItalic(true);
  const QRect textRect = option.rect.adjusted(textLeft(option), 0, -kMargin, 0);
  painter->save();
  painter->setFont(italic);
  painter->setPen(option.palette.color(QPalette::PlaceholderText));
  painter->drawText(
      textRect, Qt::AlignLeft | Qt::AlignVCenter,
      QFontMetrics(italic).elidedText(index.data(Qt::DisplayRole).toString(),
                                      Qt::ElideRight, textRect.width()));
  painter->restore();
}
