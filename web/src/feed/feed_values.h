// The feed's results as the page's script receives them (plain objects), and what the script
// hands back. Only the data crosses: the rules stay in the feed library.
#pragma once

#include <emscripten/val.h>

#include <vector>

#include "answered_crypto.h"
#include "morvik/feed/feed.h"
#include "morvik/feed/feed_problem.h"
#include "page_feed.h"

namespace morvik::web {

// {version, versionText, file, size, date, urgency, notes: {en, zh}}
emscripten::val releaseValue(const feed::Release& release);
// {refused: true, problem (its key, for the page's translations), words (the library's English), subject}
emscripten::val refusalValue(const feed::FeedRefusal& refusal);
// {pending: true, questions: [{verify, bytes, key, signature}]}: views of the questions' bytes,
// valid until the next call into the module (WebCrypto copies what it is given at once).
emscripten::val pendingValue(const std::vector<CryptoQuestion>& questions);
// The serials kept as {keyId: "decimal"}; a value that is not a whole number is left out.
SeenSerials seenSerialsOf(const emscripten::val& kept);

}  // namespace morvik::web
