// The reason that goes with a failure: the engine's and the page's own words for it, put in
// Chinese as the rest of the page's texts are, and joined to the failure's name as the engine's
// describeFailure joins them in English. The browser's own messages stay as the browser wrote
// them.

const chineseReasons = [
  [/^error event (0x[0-9a-f]{2})$/i, '错误事件 $1'],
  [/^no answer within (\d+) ms$/, '$1 毫秒内没有应答'],
  [/^WebHID: the device was disconnected$/, 'WebHID：设备已断开'],
  [/^WebHID: no pad is open$/, 'WebHID：没有打开的手柄'],
  [/^WebHID: /, 'WebHID：'],
  // the feed's refusals
  [/^on (\S+)$/, '于 $1'],
  [/^serial (\d+), already seen (\d+)$/, '序号 $1，已见过 $2'],
  [/^key (\w+)$/, '密钥 $1'],
  [/^(\d+) bytes, the feed gives (\d+)$/, '$1 字节，发布源给出 $2'],
];

export function reasonWords(language, reason) {
  if (language !== 'zh') return reason;
  const found = chineseReasons.find(([pattern]) => pattern.test(reason));
  return found ? reason.replace(found[0], found[1]) : reason;
}

// "name (reason)"; a name that ends in brackets of its own takes the reason inside them, so that
// it reads as one reason: "the pad went away (unplugged?; WebHID: ...)".
export function withReason(language, name, reason) {
  if (!reason) return name;
  const zh = language === 'zh';
  const close = zh ? '）' : ')';
  if (name.endsWith(close)) return `${name.slice(0, -1)}${zh ? '；' : '; '}${reason}${close}`;
  return zh ? `${name}（${reason}）` : `${name} (${reason})`;
}
