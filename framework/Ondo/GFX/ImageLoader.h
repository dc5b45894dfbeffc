#pragma once

#include "Ondo/Core.h"
#include "Ondo/GFX/ImageData.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <future>
#include <mutex>
#include <deque>
#include <map>
#include <memory>
#include <string>

namespace Ondo::GFX {

// Bounds on what one image file may make the engine decode. Readers check
// them against the sizes a header claims, before anything is decoded or
// allocated, so that a small file cannot claim gigabytes. The defaults hold
// any picture up to 16384 x 8192 in any format (twice an 8K x 8K RGBA float
// image); ondo-run raises them with --limit image-pixels=N and
// --limit image-bytes=N.
struct ImageLimits {
    // Pixels of one face or slice: width x height.
    std::uint64_t m_uiMaxPixels = std::uint64_t(1) << 27;
    // Bytes of the decoded image as the engine holds it: every level, face
    // and slice, three channels widened to four.
    std::uint64_t m_uiMaxBytes = std::uint64_t(1) << 31;

    // The limits of the loader decoding on this thread, the defaults while
    // none is.
    static const ImageLimits& Current();
};

// Turns image files into ImageData through readers that other modules
// register under a file-name extension. One loader exists per core; it reads
// files on the thread that calls it and holds no lock.
class ImageLoader : public DependentSingleton<ImageLoader> {
public:
    static constexpr const char* SingletonKey = "Ondo::GFX::ImageLoader";

    // Decodes a whole file held in memory. The extension is the one the path
    // reports, dot and case included (L".PNG"). Returns null for data the
    // reader cannot decode; a reader that can tell why throws
    // Ondo::ExceptionParsing with the reason instead, and the loader puts
    // that reason into its message.
    using Reader = std::function<std::unique_ptr<ImageData>(const std::uint8_t* pData, std::size_t uiSize,
                                                            const std::wstring& strExtension)>;

    // What a reader of a file that names other files (a MetaImage header and
    // its raw data, a list of cube faces) needs besides the bytes: the path,
    // to resolve those names next to the file, and the loader, to decode
    // image files through the other readers.
    struct ReadContext {
        const std::wstring& m_strPath;
        const std::wstring& m_strExtension;
        const ImageLoader& m_Loader;
    };
    using PathReader =
        std::function<std::unique_ptr<ImageData>(const std::uint8_t* pData, std::size_t uiSize, const ReadContext&)>;

    explicit ImageLoader(Core& core) : DependentSingleton<ImageLoader>(core) {}

    // Puts a reader under a key: a lower-case extension without the dot
    // (L"png"). A later reader for the same key replaces the earlier one.
    // Throws std::invalid_argument for an empty reader.
    void RegisterReader(const std::wstring& strKey, Reader fnReader);
    // The same for a reader that is told the file's path.
    void RegisterPathReader(const std::wstring& strKey, PathReader fnReader);

    // The file-dialog filter of every registered key, in key order:
    // L"*.dds;*.png"; empty when no reader is registered.
    std::wstring GetFileFilter() const;

    // Reads the file and hands it to the reader registered under its lowered
    // extension (the whole lowered path when it has no '.'). Null when the
    // file is empty, no reader is registered under the key or the reader
    // cannot decode it; each of these is reported to the core with the file's
    // name and, where the reader gave one, its reason. A picture of three
    // colour channels comes with a fourth, alpha 1 (see AddOpaqueAlpha).
    // Throws what Ondo::File::Load throws when the file cannot be read.
    std::unique_ptr<ImageData> Load(const std::wstring& strPath) const;
    // Load for callers that report on their own (a reader decoding the files
    // another file names): where Load reports a file that gives no image and
    // returns null, this throws Ondo::ExceptionParsing with the same message.
    std::unique_ptr<ImageData> Decode(const std::wstring& strPath) const;
    // Decode of bytes already in memory, as if they were the file at
    // strPath: its extension picks the reader, and files it names are looked
    // for beside it.
    std::unique_ptr<ImageData> Decode(const std::uint8_t* pData, std::size_t uiSize, const std::wstring& strPath) const;

    // The limits every reader this loader calls keeps to (ImageLimits::Current
    // while it decodes).
    void SetLimits(const ImageLimits& limits) { m_Limits = limits; }
    const ImageLimits& GetLimits() const { return m_Limits; }

    // Reads and decodes the file on a worker thread, so that a batch reads
    // its next file while the current one is processed: the next Load or
    // Decode of the same path takes that picture, or its error, instead of
    // reading the file again. Two files are held ahead at most (the current
    // one and the next): a third Prefetch drops the oldest picture not taken. For files that do not change
    // until then; the readers must not be changed meanwhile.
    void Prefetch(const std::wstring& strPath);

private:
    std::unique_ptr<ImageData> DecodeFile(const std::wstring& strPath) const;

    std::map<std::wstring, PathReader> m_Readers;
    ImageLimits m_Limits;
    // Decoded ahead, by path; declared after the readers, so that it waits
    // for its workers before they go. Readers of files that name other files
    // decode those through the loader on the worker: the lock keeps the map
    // whole meanwhile.
    mutable std::mutex m_PrefetchLock;
    mutable std::deque<std::pair<std::wstring, std::future<std::unique_ptr<ImageData>>>> m_Prefetched;
};

} // namespace Ondo::GFX
