#pragma once

#include <QAbstractListModel>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <memory>
#include <set>

// What the list keeps of each picture.
enum TIEStoreType {
  ietNormal, // the whole picture
  ietThumb,  // a picture reduced to the thumbnail size (the full image is read from its file when needed)
};

// Where an entry's picture stands.
enum class TThumbState {
  OnDemand, // not made yet, or dropped to stay within the budget: it is made when the entry comes into view
  Loading,  // being made on the list's worker threads
  Ready,    // made; Picture() holds it
  Empty,    // the file could not be read (or its picture is too large): the entry shows no picture
};

// The thumbnail list: entries of image files, each with its file path, a
// caption drawn below its picture and the picture itself, and at most one
// selected entry. The list is headless; TThumbListView draws it and forwards
// the user's mouse and keyboard selections to SelectByUser().
//
// Pictures of entries added with AppendImage() or renewed by ReloadImage()
// are made at once, on the calling thread. Pictures of entries added by
// FillFromDirectory() are made on demand: RequestPicture() (called by the
// view when an entry is drawn for the first time) queues the decoding on the
// list's own pool of ThreadPoolSize worker threads, which hands the picture
// back to the user-interface thread through a queued signal. A picture that
// arrives for an entry deleted, cleared, reloaded or renamed meanwhile is
// dropped.
//
// The pictures kept stay within a memory budget (PictureBudget): the view
// tells the list which entries are in view (SetVisibleRange); their pictures
// and those of their neighbours (a screen before and after) are kept first,
// the pictures of the entries farthest from them are dropped and made again
// when their entries come back into view. A request whose entry has left the
// neighbourhood before a worker took it up is not decoded.
//
// Every method is called on the thread that owns the list.
class TThumbList : public QAbstractListModel {
  Q_OBJECT
public:
  static constexpr int ThreadPoolSize = 8;
  // Extensions (lower case) of video files, which folder fills skip.
  static const QStringList &VideoExtensions();

  // Roles of data() besides Qt::DisplayRole (the bottom text) and
  // Qt::DecorationRole (the picture, a QImage, null when there is none).
  enum TRole {
    FileNameRole = Qt::UserRole + 1, // QString
    StateRole,                       // int of TThumbState
    SelectedRole,                    // bool
  };

  explicit TThumbList(QObject *owner = nullptr);
  ~TThumbList() override;

  // Appends an entry for the file, makes its picture at once and returns the
  // new index (the number of entries before the call). A file that cannot be
  // read still gives an entry, with an empty picture. The bottom text is left
  // empty; neither the selection nor any event changes.
  int AppendImage(const QString &fileName);

  // Appends one entry for each file directly in `directory` whose extension,
  // without regard to case, is that of a readable image format; video files,
  // hidden files, special files and folders are skipped. The entries come
  // sorted by file name as file managers sort them (without regard to case,
  // runs of digits by their value: IMG_2 before IMG_10), after the existing
  // ones; each
  // keeps the file's full path and shows the file name with its extension as
  // its bottom text. With `loadOnDemand` their pictures are made when they
  // first come into view, otherwise at once. At most `limit` entries are
  // appended (-1: no limit). Afterwards the last entry of the list is
  // selected, without ImageSelect. Returns the number of entries appended; a
  // folder that does not exist or cannot be read appends none.
  int FillFromDirectory(const QString &directory, int limit = -1, bool loadOnDemand = true);

  // Removes an entry (its file stays on disk). The list then selects the
  // entry that moved into its place, or the new last one, or none when the
  // list is empty; ImageSelect is not raised. An index outside the list does
  // nothing.
  void DeleteImage(int idx);
  // Removes every entry; none is selected afterwards.
  void Clear();
  // Makes the entry's picture anew from its file, at once. An index outside
  // the list does nothing.
  void ReloadImage(int idx);

  int ImageCount() const { return static_cast<int>(FEntries.size()); }
  // The entry's file path; empty for an index outside the list. Writing
  // renames the entry only: a picture made already stays, one not made yet
  // will be made from the new file.
  QString ImageFileName(int idx) const;
  void SetImageFileName(int idx, const QString &fileName);
  // The caption drawn below the entry's picture; empty outside the list.
  QString ImageBottomText(int idx) const;
  void SetImageBottomText(int idx, const QString &text);
  // The entry's picture: null when it is empty or not made yet.
  QImage Picture(int idx) const;
  // Empty for an index outside the list.
  TThumbState PictureState(int idx) const;

  // The selected entry; -1 when none is.
  int SelectedImage() const { return FSelected; }
  // Selects an entry (an index outside the list selects none) without
  // raising ImageSelect.
  void SetSelectedImage(int idx);
  // A selection the user made with the mouse or the keyboard: selects the
  // entry and raises ImageSelect, also when it was selected already. An index
  // outside the list does nothing.
  void SelectByUser(int idx);

  // Queues the making of an on-demand entry's picture on the worker threads.
  // Does nothing for entries whose picture is being made, made or empty.
  void RequestPicture(int idx);
  // Pictures requested from now on are made before those requested earlier
  // and not started yet (the view calls it before each paint, so that what
  // is on screen now comes before what was scrolled past).
  void BeginRequestBatch() { ++FBatch; }

  // The entries in view, first to last (-1, -1: none); the view tells it
  // before each paint. Their neighbours are as many entries before and after
  // them as are in view, at least MinNeighbours, as far as the budget has
  // room for them; a change asks for the neighbours' pictures too, after
  // those in view.
  static constexpr int MinNeighbours = 16;
  void SetVisibleRange(int first, int last);
  // Memory for the pictures kept, in bytes. The pictures of the entries in
  // view are kept even when they alone take more.
  static constexpr qint64 DefaultPictureBudget = qint64(64) << 20;
  qint64 PictureBudget() const { return FPictureBudget; }
  void SetPictureBudget(qint64 bytes);
  // The bytes of the pictures kept now.
  qint64 PictureBytes() const { return FPictureBytes; }

  // What is kept of each picture; applies to pictures made afterwards.
  TIEStoreType StoreType() const { return FStoreType; }
  void SetStoreType(TIEStoreType type) { FStoreType = type; }
  // Size of one thumbnail cell in pixels, the caption included. Pictures are
  // reduced to fit into it. A change makes every picture anew on demand.
  int ThumbWidth() const { return FThumbWidth; }
  int ThumbHeight() const { return FThumbHeight; }
  void SetThumbWidth(int width);
  void SetThumbHeight(int height);
  QSize ThumbSize() const { return {FThumbWidth, FThumbHeight}; }

  // The worker threads (maxThreadCount is ThreadPoolSize).
  const QThreadPool &ThreadPool() const { return FPool; }

  // QAbstractListModel
  int rowCount(const QModelIndex &parent = {}) const override;
  QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

signals:
  // The user selected entry `idx` with the mouse or the keyboard.
  void ImageSelect(int idx);
  // The selected entry changed, by the program or by the user (-1: none).
  void SelectionChanged(int idx);
  // The thumbnail size changed.
  void ThumbSizeChanged();
  // A picture made on a worker thread, handed to the owning thread.
  // `made` is false for a request that was passed over (its entry had left
  // the neighbourhood of those in view).
  void PictureMade(quint64 entryId, quint64 ticket, const QImage &picture, bool made, QPrivateSignal);

private:
  struct TEntry {
    quint64 Id = 0; // unique and rising in list order
    QString FileName;
    QString BottomText;
    TThumbState State = TThumbState::OnDemand;
    quint64 Ticket = 0; // the job whose picture the entry waits for
    QImage Picture;
  };

  // The ids of the entries whose pictures are worth making now; read by the
  // worker threads when they take up a request.
  struct TWanted {
    std::atomic<quint64> First{0};
    std::atomic<quint64> Last{~quint64(0)};
  };

  bool Valid(int idx) const { return idx >= 0 && idx < ImageCount(); }
  int IndexOfId(quint64 id) const;
  void Request(int idx, bool neighbour);
  void SetPicture(TEntry &e, QImage picture);
  void DropPicture(int idx);
  int Distance(int idx) const;
  void KeepWithinBudget();
  QImage MakePicture(const QString &fileName) const;
  void MakePictureNow(int idx);
  void AppendEntry(const QString &fileName, const QString &bottomText);
  void ChangeSelection(int idx);
  void ResetPictures();
  void EntryChanged(int idx, const QList<int> &roles);
  void OnPictureMade(quint64 entryId, quint64 ticket, const QImage &picture, bool made);

  QList<TEntry> FEntries;
  int FSelected = -1;
  quint64 FNextId = 1;
  quint64 FNextTicket = 1;
  qint64 FBatch = 0;
  int FVisibleFirst = -1;
  int FVisibleLast = -1;
  qint64 FPictureBudget = DefaultPictureBudget;
  qint64 FPictureBytes = 0;
  std::set<quint64> FHeld; // ids of the entries that hold a picture
  std::shared_ptr<TWanted> FWanted = std::make_shared<TWanted>();
  TIEStoreType FStoreType = ietThumb;
  int FThumbWidth = 150;
  int FThumbHeight = 150;
  // Raised when the list goes away: jobs not started yet return at once.
  std::shared_ptr<std::atomic<bool>> FClosing = std::make_shared<std::atomic<bool>>(false);
  QThreadPool FPool; // last: its threads end before the entries go
};
