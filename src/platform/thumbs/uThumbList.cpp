#include "uThumbList.h"

#include "uImageFile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <exception>
#include <limits>

namespace {

// Runs on any thread; never raises.
QImage makePicture(const QString &fileName, QSize box, TIEStoreType storeType) {
  if (fileName.isEmpty())
    return {};
  if (storeType == ietThumb)
    return ReadThumbnail(fileName, box);
  try {
    return ReadImageFile(fileName);
  } catch (const std::exception &) {
    return {};
  }
}

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Compares file names as file managers list them: without regard to case,
// and a run of digits in one name against a run in the other by the value
// they write (IMG_2 before IMG_10). Names without digits compare as they
// did before, letter by letter without regard to case.
int naturalCompare(QStringView a, QStringView b) {
  qsizetype i = 0;
  qsizetype j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      qsizetype ie = i, je = j;
      while (ie < a.size() && isDigit(a[ie]))
        ++ie;
      while (je < b.size() && isDigit(b[je]))
        ++je;
      // The value: leading zeros left out, then the longer run is the larger.
      qsizetype is = i, js = j;
      while (is + 1 < ie && a[is] == u'0')
        ++is;
      while (js + 1 < je && b[js] == u'0')
        ++js;
      if (ie - is != je - js)
        return ie - is < je - js ? -1 : 1;
      if (const int c = a.sliced(is, ie - is).compare(b.sliced(js, je - js)); c != 0)
        return c;
      i = ie;
      j = je;
      continue;
    }
    const char16_t x = a[i].toCaseFolded().unicode();
    const char16_t y = b[j].toCaseFolded().unicode();
    if (x != y)
      return x < y ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size())
    return 1;
  return j < b.size() ? -1 : 0;
}

bool fileNameLess(const QFileInfo &a, const QFileInfo &b) {
  const QString x = a.fileName();
  const QString y = b.fileName();
  if (const int c = naturalCompare(x, y); c != 0)
    return c < 0;
  // The same but for leading zeros or letter case: still one order.
  const int c = x.compare(y, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : x < y;
}

} // namespace

const QStringList &TThumbList::VideoExtensions() {
  static const QStringList list{QStringLiteral("avi"), QStringLiteral("mpe"), QStringLiteral("mpg"),
                                QStringLiteral("mpeg"), QStringLiteral("wmv")};
  return list;
}

TThumbList::TThumbList(QObject *owner) : QAbstractListModel(owner) {
  FPool.setMaxThreadCount(ThreadPoolSize);
  connect(this, &TThumbList::PictureMade, this, &TThumbList::OnPictureMade, Qt::QueuedConnection);
}

TThumbList::~TThumbList() {
  FClosing->store(true);
  FPool.clear();
  FPool.waitForDone();
}

int TThumbList::IndexOfId(quint64 id) const {
  // Ids rise in list order: entries are only appended at the end or removed.
  const auto it =
      std::lower_bound(FEntries.cbegin(), FEntries.cend(), id, [](const TEntry &e, quint64 v) { return e.Id < v; });
  return it != FEntries.cend() && it->Id == id ? static_cast<int>(it - FEntries.cbegin()) : -1;
}

QImage TThumbList::MakePicture(const QString &fileName) const { return makePicture(fileName, ThumbSize(), FStoreType); }

void TThumbList::SetPicture(TEntry &e, QImage picture) {
  FPictureBytes -= e.Picture.sizeInBytes();
  e.Picture = std::move(picture);
  FPictureBytes += e.Picture.sizeInBytes();
  if (e.Picture.isNull())
    FHeld.erase(e.Id);
  else
    FHeld.insert(e.Id);
}

void TThumbList::MakePictureNow(int idx) {
  TEntry &e = FEntries[idx];
  e.Ticket = 0; // a job under way for the entry is outdated now
  SetPicture(e, MakePicture(e.FileName));
  e.State = e.Picture.isNull() ? TThumbState::Empty : TThumbState::Ready;
}

void TThumbList::DropPicture(int idx) {
  TEntry &e = FEntries[idx];
  SetPicture(e, QImage());
  e.State = TThumbState::OnDemand;
  e.Ticket = 0;
  EntryChanged(idx, {Qt::DecorationRole, StateRole});
}

int TThumbList::Distance(int idx) const {
  if (FVisibleFirst < 0)
    return ImageCount() - idx; // nothing in view: the oldest entries go first
  if (idx < FVisibleFirst)
    return FVisibleFirst - idx;
  return idx > FVisibleLast ? idx - FVisibleLast : 0;
}

void TThumbList::KeepWithinBudget() {
  // The held entries farthest from those in view are at either end of the
  // list of held ones (ids rise in list order).
  while (FPictureBytes > FPictureBudget && !FHeld.empty()) {
    const int low = IndexOfId(*FHeld.begin());
    const int high = IndexOfId(*FHeld.rbegin());
    const int idx = Distance(low) >= Distance(high) ? low : high;
    if (idx < 0 || Distance(idx) == 0)
      return; // what is in view stays, whatever it takes
    DropPicture(idx);
  }
}

void TThumbList::SetPictureBudget(qint64 bytes) {
  FPictureBudget = std::max<qint64>(bytes, 0);
  KeepWithinBudget();
}

void TThumbList::SetVisibleRange(int first, int last) {
  if (!Valid(first) || !Valid(last) || last < first)
    first = last = -1;
  if (first == FVisibleFirst && last == FVisibleLast)
    return;
  FVisibleFirst = first;
  FVisibleLast = last;
  if (first < 0) {
    FWanted->First.store(0);
    FWanted->Last.store(~quint64(0));
    return;
  }
  // No more neighbours than the budget leaves room for beside those in view.
  const qint64 perPicture = std::max<qint64>(qint64(FThumbWidth) * FThumbHeight * 4, 1);
  const qint64 room = FPictureBudget / perPicture - (last - first + 1);
  const int margin = static_cast<int>(std::clamp<qint64>(room / 2, 0, std::max(last - first + 1, MinNeighbours)));
  const int from = std::max(0, first - margin);
  const int to = std::min(ImageCount() - 1, last + margin);
  FWanted->First.store(FEntries.at(from).Id);
  FWanted->Last.store(FEntries.at(to).Id);
  for (int i = last + 1; i <= to; ++i)
    Request(i, true);
  for (int i = first - 1; i >= from; --i)
    Request(i, true);
}

void TThumbList::AppendEntry(const QString &fileName, const QString &bottomText) {
  TEntry e;
  e.Id = FNextId++;
  e.FileName = fileName;
  e.BottomText = bottomText;
  FEntries.append(std::move(e));
}

int TThumbList::AppendImage(const QString &fileName) {
  const int idx = ImageCount();
  beginInsertRows({}, idx, idx);
  AppendEntry(fileName, {});
  MakePictureNow(idx);
  endInsertRows();
  KeepWithinBudget();
  return idx;
}

int TThumbList::FillFromDirectory(const QString &directory, int limit, bool loadOnDemand) {
  // Without QDir::Hidden and QDir::System, hidden files and special files
  // (devices, pipes, sockets, broken links) are left out.
  QFileInfoList files = QDir(directory).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
  std::sort(files.begin(), files.end(), fileNameLess);
  QList<QFileInfo> chosen;
  for (const QFileInfo &fi : std::as_const(files)) {
    if (limit >= 0 && chosen.size() >= limit)
      break;
    if (fi.isHidden() || VideoExtensions().contains(fi.suffix().toLower()) || !HasReadableImageExtension(fi.fileName()))
      continue;
    chosen.append(fi);
  }
  if (!chosen.isEmpty()) {
    const int first = ImageCount();
    beginInsertRows({}, first, first + static_cast<int>(chosen.size()) - 1);
    FEntries.reserve(first + chosen.size());
    for (const QFileInfo &fi : std::as_const(chosen)) {
      AppendEntry(fi.absoluteFilePath(), fi.fileName());
      if (!loadOnDemand)
        MakePictureNow(ImageCount() - 1);
    }
    endInsertRows();
    KeepWithinBudget();
  }
  if (ImageCount() > 0)
    ChangeSelection(ImageCount() - 1);
  return static_cast<int>(chosen.size());
}

void TThumbList::DeleteImage(int idx) {
  if (!Valid(idx))
    return;
  FSelected = -2; // the rows shift: the new selection is always announced
  SetPicture(FEntries[idx], QImage());
  beginRemoveRows({}, idx, idx);
  FEntries.removeAt(idx);
  endRemoveRows();
  ChangeSelection(std::min(idx, ImageCount() - 1));
}

void TThumbList::Clear() {
  // Jobs not started yet are dropped; pictures of jobs under way find no entry.
  FPool.clear();
  FSelected = -2;
  beginResetModel();
  FEntries.clear();
  FHeld.clear();
  FPictureBytes = 0;
  endResetModel();
  ChangeSelection(-1);
}

void TThumbList::ReloadImage(int idx) {
  if (!Valid(idx))
    return;
  MakePictureNow(idx);
  EntryChanged(idx, {Qt::DecorationRole, StateRole});
  KeepWithinBudget();
}

QString TThumbList::ImageFileName(int idx) const { return Valid(idx) ? FEntries.at(idx).FileName : QString(); }

void TThumbList::SetImageFileName(int idx, const QString &fileName) {
  if (!Valid(idx) || FEntries.at(idx).FileName == fileName)
    return;
  TEntry &e = FEntries[idx];
  e.FileName = fileName;
  if (e.State == TThumbState::Loading) {
    e.State = TThumbState::OnDemand; // the job under way reads the old file
    e.Ticket = 0;
  }
  EntryChanged(idx, {FileNameRole, StateRole});
}

QString TThumbList::ImageBottomText(int idx) const { return Valid(idx) ? FEntries.at(idx).BottomText : QString(); }

void TThumbList::SetImageBottomText(int idx, const QString &text) {
  if (!Valid(idx) || FEntries.at(idx).BottomText == text)
    return;
  FEntries[idx].BottomText = text;
  EntryChanged(idx, {Qt::DisplayRole});
}

QImage TThumbList::Picture(int idx) const { return Valid(idx) ? FEntries.at(idx).Picture : QImage(); }

TThumbState TThumbList::PictureState(int idx) const { return Valid(idx) ? FEntries.at(idx).State : TThumbState::Empty; }

void TThumbList::SetSelectedImage(int idx) { ChangeSelection(Valid(idx) ? idx : -1); }

void TThumbList::SelectByUser(int idx) {
  if (!Valid(idx))
    return;
  ChangeSelection(idx);
  emit ImageSelect(idx);
}

void TThumbList::ChangeSelection(int idx) {
  if (idx == FSelected)
    return;
  const int old = FSelected;
  FSelected = idx;
  if (Valid(old))
    EntryChanged(old, {SelectedRole});
  if (Valid(idx))
    EntryChanged(idx, {SelectedRole});
  emit SelectionChanged(idx);
}

void TThumbList::RequestPicture(int idx) { Request(idx, false); }

void TThumbList::Request(int idx, bool neighbour) {
  if (!Valid(idx) || FEntries.at(idx).State != TThumbState::OnDemand)
    return;
  TEntry &e = FEntries[idx];
  e.State = TThumbState::Loading;
  e.Ticket = FNextTicket++;
  const quint64 id = e.Id;
  const quint64 ticket = e.Ticket;
  const QString fileName = e.FileName;
  const QSize box = ThumbSize();
  const TIEStoreType storeType = FStoreType;
  const std::shared_ptr<std::atomic<bool>> closing = FClosing;
  const std::shared_ptr<const TWanted> wanted = FWanted;
  // Later batches first; within a batch what is in view before its neighbours.
  const qint64 rank = FBatch * 2 + (neighbour ? 0 : 1);
  const int priority = static_cast<int>(std::min<qint64>(rank, std::numeric_limits<int>::max()));
  // The list waits for its pool before it goes, so `this` outlives the job.
  FPool.start(
      [this, id, ticket, fileName, box, storeType, closing, wanted] {
        if (closing->load())
          return;
        if (id < wanted->First.load() || id > wanted->Last.load()) {
          emit PictureMade(id, ticket, QImage(), false, QPrivateSignal());
          return;
        }
        emit PictureMade(id, ticket, makePicture(fileName, box, storeType), true, QPrivateSignal());
      },
      priority);
}

void TThumbList::OnPictureMade(quint64 entryId, quint64 ticket, const QImage &picture, bool made) {
  const int idx = IndexOfId(entryId);
  if (idx < 0)
    return; // deleted or cleared meanwhile
  TEntry &e = FEntries[idx];
  if (e.State != TThumbState::Loading || e.Ticket != ticket)
    return; // reloaded, renamed or resized meanwhile
  e.Ticket = 0;
  if (!made) {
    // Passed over; should the entry be back in view by now, the view asks
    // again when it draws the entry.
    e.State = TThumbState::OnDemand;
    EntryChanged(idx, {StateRole});
    return;
  }
  SetPicture(e, picture);
  e.State = picture.isNull() ? TThumbState::Empty : TThumbState::Ready;
  EntryChanged(idx, {Qt::DecorationRole, StateRole});
  KeepWithinBudget();
}

void TThumbList::SetThumbWidth(int width) {
  width = std::max(width, 1);
  if (width == FThumbWidth)
    return;
  FThumbWidth = width;
  ResetPictures();
}

void TThumbList::SetThumbHeight(int height) {
  height = std::max(height, 1);
  if (height == FThumbHeight)
    return;
  FThumbHeight = height;
  ResetPictures();
}

void TThumbList::ResetPictures() {
  for (TEntry &e : FEntries) {
    e.State = TThumbState::OnDemand;
    e.Ticket = 0;
    e.Picture = QImage();
  }
  FHeld.clear();
  FPictureBytes = 0;
  if (!FEntries.isEmpty())
    emit dataChanged(index(0), index(ImageCount() - 1), {Qt::DecorationRole, StateRole});
  emit ThumbSizeChanged();
}

void TThumbList::EntryChanged(int idx, const QList<int> &roles) {
  const QModelIndex i = index(idx);
  emit dataChanged(i, i, roles);
}

int TThumbList::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ImageCount(); }

QVariant TThumbList::data(const QModelIndex &index, int role) const {
  if (!index.isValid() || !Valid(index.row()))
    return {};
  const TEntry &e = FEntries.at(index.row());
  switch (role) {
  case Qt::DisplayRole:
    return e.BottomText;
  case Qt::DecorationRole:
    return e.Picture;
  case FileNameRole:
    return e.FileName;
  case StateRole:
    return static_cast<int>(e.State);
  case SelectedRole:
    return index.row() == FSelected;
  default:
    return {};
  }
}
