// The feed's crypto seam filled by WebCrypto. The engine's feed checks ask synchronously and
// WebCrypto answers asynchronously, so a check that gives {pending, questions} is run again once
// WebCrypto has answered them; only its last run, with every question answered, is its result.

// More rounds than any check needs (the keys' digests, then the signature): a check that keeps
// asking is a fault, and ends as unanswered (the engine then refuses).
const kMostRounds = 4;
const kEcdsa = { name: 'ECDSA', namedCurve: 'P-256' };

export async function digestOf(bytes) {
  try {
    return new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
  } catch {
    return null;  // no digest: the engine refuses as the crypto failing
  }
}

async function verified({ key, bytes, signature }) {
  try {
    const publicKey = await crypto.subtle.importKey('spki', key, kEcdsa, false, ['verify']);
    return await crypto.subtle.verify({ name: 'ECDSA', hash: 'SHA-256' }, publicKey, signature, bytes);
  } catch {
    return false;  // a key or signature WebCrypto cannot read does not verify
  }
}

// `check()` calls one of the page's feed checks; its result once every question is answered.
export async function withWebCrypto(page, check) {
  let result = check();
  for (let round = 1; result.pending && round < kMostRounds; ++round) {
    // Each question's bytes are views of the engine's memory, valid until the next call into it:
    // WebCrypto copies them when called, and every call is made before any answer goes back.
    const answers = await Promise.all(result.questions.map((question) => (question.verify ? verified(question) : digestOf(question.bytes))));
    answers.forEach((answer, index) => {
      if (result.questions[index].verify) page.answerVerification(index, answer);
      else page.answerDigest(index, answer);
    });
    result = check();
  }
  return result;
}
