/* The resource library's interface: everything that differs between product lines.
 *
 * The updater is linked against this library at load time, so it does not start without it
 * (Lib/libResourcesUpd.so beside the executable on Linux, Lib/ResourcesUpd.dll on Windows).
 * The interface is plain C so that a library built by any compiler can serve the updater.
 *
 * Texts are UTF-16. A text is copied into a buffer of the caller's: the call returns the text's
 * length in code units and writes min(length, capacity) units; call with capacity 0 to learn the
 * length. No terminator is written.
 *
 * The colour table stays the library's for the life of the process.
 * An image stream passes to the caller, who releases it with resImageRelease.
 */
#ifndef RESOURCESUPD_H
#define RESOURCESUPD_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(RESOURCESUPD_BUILDING)
#define RESOURCESUPD_API __declspec(dllexport)
#else
#define RESOURCESUPD_API __declspec(dllimport)
#endif
#else
#define RESOURCESUPD_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint16_t ResChar; /* one UTF-16 code unit */
typedef struct ResColorTable ResColorTable;
typedef struct ResImageStream ResImageStream;

/* The five operations every library has. */
RESOURCESUPD_API size_t getSistema(ResChar* buffer, size_t capacity);
RESOURCESUPD_API size_t getUpdatePath(ResChar* buffer, size_t capacity);
RESOURCESUPD_API size_t getUpdateName(ResChar* buffer, size_t capacity);
RESOURCESUPD_API const ResColorTable* getColores(void);
/* name: UTF-16, nameLength code units. Never null: an unknown name gives an empty stream. */
RESOURCESUPD_API ResImageStream* getImage(const ResChar* name, size_t nameLength);

/* The optional sixth operation: the product line's update key, the key line of a minisign
 * public key ("RW..."), or an empty text when its releases are not signed. The program looks it
 * up once the library is loaded: a library without it still serves, as one without a key. */
RESOURCESUPD_API size_t getUpdateKey(ResChar* buffer, size_t capacity);

/* Colour table lookup: 1 and the ARGB colour in *argb when the key is there, else 0. */
RESOURCESUPD_API int resColorLookup(const ResColorTable* table, const ResChar* key,
                                    size_t keyLength, uint32_t* argb);

/* Image stream: a readable, seekable stream of bytes with a position. */
RESOURCESUPD_API uint64_t resImageSize(const ResImageStream* stream);
RESOURCESUPD_API uint64_t resImagePosition(const ResImageStream* stream);
/* Moves the position to offset (clamped to the size). */
RESOURCESUPD_API void resImageSeek(ResImageStream* stream, uint64_t offset);
/* Reads up to count bytes from the position on; returns how many were read. */
RESOURCESUPD_API size_t resImageRead(ResImageStream* stream, void* buffer, size_t count);
RESOURCESUPD_API void resImageRelease(ResImageStream* stream);

#ifdef __cplusplus
}
#endif

#endif
