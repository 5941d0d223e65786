#include "thumbnails/FreedesktopThumbnails.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeDatabase>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "platform/DurableFile.h"
#include "thumbnails/PictureFunctions.h"

namespace FreedesktopThumbnails {

namespace {

const QStringList sizeNames {QStringLiteral("normal"), QStringLiteral("large"), QStringLiteral("x-large"),
                             QStringLiteral("xx-large")};

QMutex thumbnailersMutex;
QStringList customFolders;
std::optional<QList<Thumbnailer>> knownThumbnailers;
std::atomic<int> timeoutMs {5000};

QString cacheRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QStringLiteral("/thumbnails");
}

QString cacheFileName(const QString &path)
{
    return QString::fromLatin1(QCryptographicHash::hash(fileUri(path), QCryptographicHash::Md5).toHex())
        + QStringLiteral(".png");
}

// Seconds since the epoch of the file's last change, as Thumb::MTime records it.
qint64 modificationSeconds(const QFileInfo &info)
{
    return info.lastModified().toSecsSinceEpoch();
}

std::optional<qint64> parseMTime(const QString &text)
{
    // Some writers add a fraction; the whole seconds decide.
    bool ok = false;
    const qint64 seconds = text.section(u'.', 0, 0).trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return seconds;
}

std::optional<Thumbnailer> parseThumbnailer(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 64 * 1024)
        return std::nullopt;
    const QString text = QString::fromUtf8(file.readAll());
    Thumbnailer result;
    result.filePath = filePath;
    bool inEntry = false;
    for (QString line : text.split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inEntry = line == QStringLiteral("[Thumbnailer Entry]");
            continue;
        }
        if (!inEntry)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QStringLiteral("TryExec"))
            result.tryExec = value;
        else if (key == QStringLiteral("Exec"))
            result.exec = value;
        else if (key == QStringLiteral("MimeType"))
            result.mimeTypes = value.split(u';', Qt::SkipEmptyParts);
    }
    if (result.exec.isEmpty() || result.mimeTypes.isEmpty())
        return std::nullopt;
    return result;
}

bool executableExists(const QString &program)
{
    if (program.isEmpty())
        return true;
    if (QDir::isAbsolutePath(program))
        return QFileInfo(program).isExecutable();
    return !QStandardPaths::findExecutable(program).isEmpty();
}

quint32 crc32(QByteArrayView data)
{
    static const auto table = [] {
        std::array<quint32, 256> t {};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xffffffffu;
    for (char byte : data)
        c = table[(c ^ quint8(byte)) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

void appendBigEndian(QByteArray &out, quint32 value)
{
    out.append(char(value >> 24)).append(char(value >> 16)).append(char(value >> 8)).append(char(value));
}

// The PNG with tEXt chunks inserted right after its header chunk; empty when it is not a PNG.
QByteArray withTextChunks(const QByteArray &png, const QList<std::pair<QByteArray, QByteArray>> &texts)
{
    constexpr qsizetype headerEnd = 8 + 4 + 4 + 13 + 4; // signature, IHDR length, type, data, CRC
    if (png.size() < headerEnd || png.mid(12, 4) != "IHDR")
        return {};
    QByteArray out = png.left(headerEnd);
    for (const auto &[key, value] : texts) {
        const QByteArray body = "tEXt" + key + '\0' + value;
        appendBigEndian(out, quint32(body.size() - 4));
        out += body;
        appendBigEndian(out, crc32(body));
    }
    out += png.mid(headerEnd);
    return out;
}

} // namespace

QByteArray fileUri(const QString &path)
{
    return QUrl::fromLocalFile(QDir::cleanPath(path)).toEncoded();
}

QString cacheFolder(const QString &sizeName)
{
    return cacheRoot() + u'/' + sizeName;
}

int pixelSizeOf(const QString &sizeName)
{
    const qsizetype index = sizeNames.indexOf(sizeName);
    return index < 0 ? 0 : 128 << index;
}

QString sizeNameFor(int pixelSize)
{
    for (const QString &name : sizeNames) {
        if (pixelSizeOf(name) >= pixelSize)
            return name;
    }
    return sizeNames.last();
}

QImage cachedThumbnail(const QString &path, int pixelSize)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    const QByteArray uri = fileUri(path);
    const QString name = cacheFileName(path);
    for (qsizetype i = sizeNames.indexOf(sizeNameFor(pixelSize)); i < sizeNames.size(); ++i) {
        QImageReader reader(cacheFolder(sizeNames.at(i)) + u'/' + name);
        if (!reader.canRead())
            continue;
        QImage image = reader.read();
        if (image.isNull())
            continue;
        const std::optional<qint64> mtime = parseMTime(image.text(QStringLiteral("Thumb::MTime")));
        if (!mtime || *mtime != modificationSeconds(info))
            continue;
        const QString storedUri = image.text(QStringLiteral("Thumb::URI"));
        if (!storedUri.isEmpty() && storedUri.toUtf8() != uri)
            continue;
        if (std::max(image.width(), image.height()) > pixelSize)
            image = image.scaled(pixelSize, pixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return image;
    }
    return {};
}

bool storeThumbnail(const QString &path, const QString &sizeName, const QImage &image)
{
    const QFileInfo info(path);
    const int limit = pixelSizeOf(sizeName);
    if (image.isNull() || !info.exists() || limit == 0)
        return false;
    // Never thumbnail the thumbnail cache itself.
    if (QDir::cleanPath(info.absoluteFilePath()).startsWith(cacheRoot() + u'/'))
        return false;
    const QString folder = cacheFolder(sizeName);
    if (!QDir().mkpath(folder))
        return false;
    QFile::setPermissions(cacheRoot(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QImage stored = image;
    if (std::max(stored.width(), stored.height()) > limit)
        stored = stored.scaled(limit, limit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!QImageWriter(&buffer, "png").write(stored))
            return false;
    }
    // Qt's writer mangles keys holding ':', so the tEXt chunks are added here.
    png = withTextChunks(png,
                         {{"Thumb::URI", fileUri(path)},
                          {"Thumb::MTime", QByteArray::number(modificationSeconds(info))},
                          {"Thumb::Size", QByteArray::number(info.size())},
                          {"Software", "Quorvin"}});
    if (png.isEmpty())
        return false;
    // A link planted at the name is replaced, never followed; readers never see half a file.
    DurableFile::Options options;
    options.syncFolder = false;
    return DurableFile::write(folder + u'/' + cacheFileName(path), png, options).ok();
}

void setThumbnailerFolders(const QStringList &folders)
{
    QMutexLocker lock(&thumbnailersMutex);
    customFolders = folders;
    knownThumbnailers.reset();
}

void setThumbnailerTimeout(int milliseconds)
{
    timeoutMs = std::max(1, milliseconds);
}

int thumbnailerTimeout()
{
    return timeoutMs;
}

QList<Thumbnailer> installedThumbnailers()
{
    QMutexLocker lock(&thumbnailersMutex);
    if (knownThumbnailers)
        return *knownThumbnailers;
    QStringList folders = customFolders;
    if (folders.isEmpty())
        folders = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                            QStringLiteral("thumbnailers"), QStandardPaths::LocateDirectory);
    QList<Thumbnailer> found;
    QStringList seenNames;
    for (const QString &folder : folders) {
        const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.thumbnailer")},
                                                               QDir::Files | QDir::Readable, QDir::Name);
        for (const QFileInfo &file : files) {
            // An earlier folder's file of the same name overrides a later one.
            if (seenNames.contains(file.fileName()))
                continue;
            seenNames.append(file.fileName());
            if (std::optional<Thumbnailer> thumbnailer = parseThumbnailer(file.absoluteFilePath()))
                found.append(*thumbnailer);
        }
    }
    knownThumbnailers = found;
    return found;
}

std::optional<Thumbnailer> thumbnailerFor(const QString &mimeType, const QStringList &aliases)
{
    for (const Thumbnailer &thumbnailer : installedThumbnailers()) {
        const bool matches = thumbnailer.mimeTypes.contains(mimeType)
            || std::any_of(aliases.cbegin(), aliases.cend(),
                           [&](const QString &alias) { return thumbnailer.mimeTypes.contains(alias); });
        if (!matches || !executableExists(thumbnailer.tryExec))
            continue;
        const QStringList arguments = splitExec(thumbnailer.exec);
        if (arguments.isEmpty() || !executableExists(arguments.first()))
            continue;
        return thumbnailer;
    }
    return std::nullopt;
}

QStringList splitExec(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == u'\\' && i + 1 < exec.size()) {
                current += exec.at(++i);
            } else if (c == u'"') {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == u' ' || c == u'\t') {
            if (inArgument) {
                arguments.append(current);
                current.clear();
                inArgument = false;
            }
        } else if (c == u'"') {
            quoted = true;
            inArgument = true;
        } else if (c == u'\\' && i + 1 < exec.size()) {
            current += exec.at(++i);
            inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted)
        return {};
    if (inArgument)
        arguments.append(current);
    return arguments;
}

QStringList substituteExec(const QStringList &arguments, const QString &inputPath, const QString &outputPath,
                           int size)
{
    QStringList result;
    result.reserve(arguments.size());
    for (const QString &argument : arguments) {
        QString out;
        for (qsizetype i = 0; i < argument.size(); ++i) {
            const QChar c = argument.at(i);
            if (c != u'%' || i + 1 >= argument.size()) {
                out += c;
                continue;
            }
            switch (argument.at(++i).unicode()) {
            case 'i':
                out += inputPath;
                break;
            case 'u':
                out += QString::fromUtf8(fileUri(inputPath));
                break;
            case 'o':
                out += outputPath;
                break;
            case 's':
                out += QString::number(size);
                break;
            case '%':
                out += u'%';
                break;
            default:
                break; // unknown field codes are dropped
            }
        }
        result.append(out);
    }
    return result;
}

// Everything below runs in the forked child, before exec: system calls only, no allocation.

void pause(long milliseconds)
{
    const struct timespec step = {0, milliseconds * 1000000L};
    ::nanosleep(&step, nullptr);
}

// Kills every descendant. As a subreaper we inherit the orphans of whatever we kill, so the
// loop ends only when no child is left.
void killDescendants()
{
    char path[64] = "/proc/self/task/";
    int length = 16;
    char digits[16];
    int count = 0;
    for (pid_t self = ::getpid(); self > 0; self /= 10)
        digits[count++] = char('0' + self % 10);
    while (count > 0)
        path[length++] = digits[--count];
    for (const char *tail = "/children"; *tail;)
        path[length++] = *tail++;
    path[length] = '\0';

    for (int round = 0; round < 500; ++round) {
        char buffer[4096];
        ssize_t size = 0;
        if (const int fd = ::open(path, O_RDONLY | O_CLOEXEC); fd >= 0) {
            size = ::read(fd, buffer, sizeof buffer - 1);
            ::close(fd);
        }
        pid_t pid = 0;
        for (ssize_t i = 0; i < size; ++i) {
            if (buffer[i] >= '0' && buffer[i] <= '9') {
                pid = pid * 10 + (buffer[i] - '0');
            } else if (pid > 0) {
                ::kill(pid, SIGKILL);
                pid = 0;
            }
        }
        if (pid > 0)
            ::kill(pid, SIGKILL);
        while (::waitpid(-1, nullptr, WNOHANG) > 0) { }
        if (::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD)
            return;
        pause(2);
    }
}

// Turns the forked child into a small supervisor: the thumbnailer runs in a grandchild, and
// whatever it leaves behind (even in a session of its own) is killed when it exits or times
// out, or when we die.
void superviseThumbnailer(int timeoutMs)
{
    const pid_t parent = ::getppid();
    ::signal(SIGCHLD, SIG_DFL); // the parent's handler is no business of ours
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    const pid_t worker = ::fork();
    if (worker == 0) {
        ::setpgid(0, 0);
        return; // goes on to exec the thumbnailer
    }
    // The caller learns of the start from a pipe that only the exec may close.
    ::close_range(3, ~0U, 0);
    int status = 0;
    bool exited = false;
    for (int waited = 0; worker > 0 && waited < timeoutMs && ::getppid() == parent; waited += 5) {
        if (::waitpid(worker, &status, WNOHANG) == worker) {
            exited = true;
            break;
        }
        pause(5);
    }
    if (worker > 0)
        ::kill(-worker, SIGKILL);
    killDescendants();
    ::_exit(exited && WIFEXITED(status) ? WEXITSTATUS(status) : 124);
}

QImage runThumbnailer(const Thumbnailer &thumbnailer, const QString &path, int pixelSize)
{
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return {};
    const QString output = scratch.filePath(QStringLiteral("thumbnail.png"));
    const QStringList arguments = substituteExec(splitExec(thumbnailer.exec), path, output, pixelSize);
    if (arguments.isEmpty() || arguments.first().isEmpty())
        return {};

    QProcess process;
    process.setProgram(arguments.first());
    process.setArguments(arguments.mid(1));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const int timeout = thumbnailerTimeout();
    process.setChildProcessModifier([timeout] { superviseThumbnailer(timeout); });
    process.start();
    if (!process.waitForStarted(timeout))
        return {};
    // The supervisor keeps the time; this is only the backstop should it hang.
    if (!process.waitForFinished(timeout + 2000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return downsampledImage(output, pixelSize);
}

QImage systemThumbnail(const QString &path, int pixelSize)
{
    if (pixelSize <= 0 || !QFileInfo(path).isFile())
        return {};
    QImage cached = cachedThumbnail(path, pixelSize);
    if (!cached.isNull())
        return cached;

    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(path);
    if (!type.isValid())
        return {};
    const std::optional<Thumbnailer> thumbnailer = thumbnailerFor(type.name(), type.aliases());
    if (!thumbnailer)
        return {};
    const QString sizeName = sizeNameFor(pixelSize);
    QImage fresh = runThumbnailer(*thumbnailer, path, pixelSizeOf(sizeName));
    if (fresh.isNull())
        return {};
    storeThumbnail(path, sizeName, fresh);
    if (std::max(fresh.width(), fresh.height()) > pixelSize)
        fresh = fresh.scaled(pixelSize, pixelSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return fresh;
}

} // namespace FreedesktopThumbnails
