// The page's texts in English and Simplified Chinese. Where the Windows program says the same
// thing, its string table's words are used, so that the two read alike; the rest follows the
// command-line updater's sentences. The English names of image problems and update failures
// come from the engine, as in the other programs; only their Chinese names are here, under the
// engine's keys. {name} marks a value filled in when shown.

const howToEn =
  'Switch the pad off, then hold START+L+R (Zelto, Pravik) or POWER+RETURN (Zelto Pro, Pravik Pro) ' +
  'for about 3 seconds until two LEDs flash, and connect it by USB cable.';
const howToZh =
  '关闭手柄，按住 START+L+R（Zelto、Pravik）或 POWER+RETURN（Zelto Pro、Pravik Pro）约 3 秒，' +
  '直到两个指示灯闪烁，然后用 USB 线连接电脑。';
const udevCommandText =
  'sudo cp 60-morvik-gamepad.rules /etc/udev/rules.d/\n' +
  'sudo udevadm control --reload-rules && sudo udevadm trigger';

export const texts = {
  en: {
    pageTitle: 'Morvik GamePad firmware update',
    title: 'Morvik GamePad',
    subtitle: 'Firmware update',
    language: 'Language',
    stepBootMode: howToEn,
    stepConnect: 'Click "Connect the pad" and choose the pad in the browser\'s list.',
    stepImage: 'Choose the firmware file (.dat), then click "USB Update".',
    connect: 'Connect the pad',
    padNone: 'No pad in boot mode is connected.',
    padAsking: 'Pad connected (USB 0483:5750). Asking its firmware version...',
    padVersion: 'Pad firmware version: v{version}',
    padFactory: 'Pad firmware version: factory firmware. Please upgrade to the latest version.',
    padRestarting: 'The pad restarts with its new firmware.',
    padUsedElsewhere: 'Another program or browser tab seems to be using the pad: the pad answered a command this ' +
      'page did not send. Close the other one; two programs at one pad can spoil an update.',
    padGone: 'The pad was disconnected.',
    padUnanswered: 'The pad did not answer when asked its firmware version{reason}. Check that it is in boot mode, ' +
      'then unplug it and connect it again.',
    chooseImage: 'Choose a firmware image (.dat)',
    dropHint: 'or drop it here',
    imageNone: 'No image chosen.',
    imageReading: 'Reading {name}...',
    imageInfo: 'Image firmware version: {version} ({name}, {length} bytes of firmware)',
    downgrade: 'This is a downgrade: the image ({image}) is older than the pad\'s firmware ({pad}).',
    sameVersion: 'The pad already runs {pad}: this writes the same version again.',
    longerFile: 'Warning: the file is longer than its header says; a firmware file ends where its header says. ' +
      'Check that it is the right file.',
    imageRefused: 'Cannot use the image {name}: {fault}.',
    imageNotTaken: '{name} was not taken: an update is under way. Choose it again once the update has ended.',
    imagesDropped: '{count} files were dropped; only {name} was taken.',
    factoryFirmware: 'factory firmware',
    updateButton: 'USB Update',
    questionUpdate: 'Update firmware to {image}?',
    questionDowngrade: 'Downgrade firmware from {pad} to {image}?',
    questionSame: 'Write {image} again?',
    versionsLine: 'New firmware {image} and current is {pad}',
    versionsLineNoPad: 'New firmware {image}',
    ok: 'OK',
    cancel: 'Cancel',
    progressLabel: 'Update progress',
    updating: 'Updating firmware to {image}...',
    imageSent: 'Image sent; waiting for the pad to accept it.',
    progressFailed: 'The update failed.',
    successTitle: 'Firmware upgraded!',
    saveReport: 'Save a report for support',
    saveReportAnyTime: 'Save a report for support (what this page recorded of the last update)',
    success: 'Firmware updated to {image}. The pad restarts in its normal mode.',
    failureTitle: 'Firmware update failure',
    failure: 'Update failed: {reason}.',
    failureHint: 'The pad stays in boot mode; run the update again to restore its firmware.',
    failureUntouched: 'The pad\'s firmware was not changed.',
    notBootTitle: 'Firmware update failure, please handle work in BOOT mode',
    notBoot: 'The pad is not in boot mode, so it cannot be updated. ' + howToEn,
    cancelled: 'Update cancelled; the pad\'s firmware was not changed.',
    noWebHid:
      'This browser cannot reach USB HID devices (it has no WebHID). Open this page in Chrome, Edge, Opera or ' +
      'another Chromium-based browser on a computer, or use morvik-update (Linux), update.exe (Windows) or the ' +
      'Morvik GamePad app (macOS).',
    insecure:
      'Browsers give USB HID devices only to secure pages, and this page was opened as {origin}. Open it over ' +
      'HTTPS, or from this computer at http://localhost (bash scripts/serve-web.sh serves it there).',
    openFailed: 'The browser could not open the pad ({error}). Close any other program or tab that uses it, ' +
      'then unplug the pad and connect it again.',
    openFailedLinux: 'The browser could not open the pad ({error}). On Linux your user may open it only once the ' +
      'udev rule 60-morvik-gamepad.rules is installed (it comes with the source, in linux/, and with the ' +
      'morvik-update package). Install it once, then unplug the pad and connect it again:',
    udevCommand: udevCommandText,
    connectFailed: 'No pad was chosen ({error}).',
    engineFailed: 'The updater could not start: {error}.',
    workerScriptMissing: 'its script could not be loaded',
    workerFailed: 'The updater could not start its worker ({error}): nothing was sent to the pad. Reload the page; if this stays, the page\'s files on the server are incomplete.',
    feedTitle: 'Newest firmware from the maker: {version}, released {date}; urgency: {urgency}.',
    urgency_low: 'low',
    urgency_medium: 'medium',
    urgency_high: 'high',
    urgency_critical: 'critical',
    useRelease: 'Use this firmware',
    downloadLabel: 'Download progress',
    downloading: 'Downloading {file}... {percent}%',
    downloaded: '{file} downloaded and checked.',
    feedRefused: 'The maker\'s firmware feed was refused: {reason}; you can still choose a firmware file.',
    feedUnreachable: 'The maker\'s firmware feed could not be fetched ({file}: {error}); you can still choose a firmware file.',
    releaseRefused: 'The download of {file} was refused: {reason}; nothing was sent to the pad.',
    releaseUnreachable: '{file} could not be downloaded ({error}); nothing was sent to the pad.',
    imageIsRelease: 'This file is release {version} of the maker\'s feed.',
    CryptoFailed: 'the system\'s cryptography failed',
  },
  zh: {
    pageTitle: 'Morvik GamePad 固件升级',
    title: 'Morvik GamePad',
    subtitle: '固件升级',
    language: '语言',
    stepBootMode: howToZh,
    stepConnect: '点击“连接手柄”，在浏览器的列表中选择手柄。',
    stepImage: '选择升级文件（.dat），然后点击“USB 升级”。',
    connect: '连接手柄',
    padNone: '没有连接处于 BOOT 模式的手柄。',
    padAsking: '手柄已连接（USB 0483:5750），正在读取固件版本……',
    padVersion: '手柄当前版本为 v{version}',
    padFactory: '手柄运行出厂固件。请升级到最新版本。',
    padRestarting: '手柄正在以新固件重启。',
    padUsedElsewhere: '似乎有其他程序或浏览器标签页正在使用手柄：手柄回应了本页没有发送的命令。请关闭它；' +
      '两个程序同时使用一个手柄可能使升级失败。',
    padGone: '手柄已断开。',
    padUnanswered: '手柄没有回应固件版本查询{reason}。请确认它处于 BOOT 模式，然后拔出并重新连接。',
    chooseImage: '选择升级文件（.dat）',
    dropHint: '或将文件拖到这里',
    imageNone: '尚未选择升级文件。',
    imageReading: '正在读取 {name}……',
    imageInfo: '升级文件版本：{version}（{name}，固件 {length} 字节）',
    downgrade: '这是降级：升级文件（{image}）比手柄固件（{pad}）旧。',
    sameVersion: '手柄已是 {pad}：将再次写入同一版本。',
    longerFile: '注意：文件比其文件头所述的更长，固件文件应在文件头所述之处结束。请确认这是正确的升级文件。',
    imageRefused: '无法使用升级文件 {name}：{fault}。',
    imageNotTaken: '未采用 {name}：升级正在进行。请在升级结束后再次选择。',
    imagesDropped: '拖入了 {count} 个文件，只采用了 {name}。',
    factoryFirmware: '出厂固件',
    CannotOpen: '无法读取该文件',
    HeaderTooShort: '文件太短，不是固件升级文件',
    PayloadTooShort: '文件中的固件少于文件头所声明的长度',
    NoPayload: '文件中没有固件',
    TooLarge: '文件声明的固件多于任何手柄能接受的',
    NotAnImage: '这不是固件升级文件',
    updateButton: 'USB 升级',
    questionUpdate: '升级固件到 {image}？',
    questionDowngrade: '将固件从 {pad} 降级到 {image}？',
    questionSame: '再次写入 {image}？',
    versionsLine: '升级新固件 {image} 当前版本为 {pad}',
    versionsLineNoPad: '升级新固件 {image}',
    ok: '确定',
    cancel: '取消',
    progressLabel: '升级进度',
    updating: '正在升级固件到 {image}……',
    imageSent: '固件已发送，等待手柄确认。',
    progressFailed: '升级失败。',
    successTitle: '升级成功.',
    saveReport: '保存报告以供技术支持',
    saveReportAnyTime: '保存报告以供技术支持（本页记录的上一次升级）',
    success: '固件已升级到 {image}。手柄将重启到正常模式。',
    failureTitle: '固件更新失败',
    failure: '升级失败：{reason}。',
    failureHint: '手柄仍处于 BOOT 模式；请再次升级以恢复其固件。',
    failureUntouched: '手柄固件未改变。',
    PadReportedError: '手柄报告了错误',
    WriteFailed: '无法向手柄发送数据',
    PadSilent: '手柄停止了应答',
    PadGone: '手柄已断开（被拔出？）',
    notBootTitle: '固件更新失败,请将手柄工作在BOOT模式',
    notBoot: '手柄不在 BOOT 模式，无法升级。' + howToZh,
    cancelled: '升级已取消，手柄固件未改变。',
    noWebHid:
      '此浏览器无法访问 USB HID 设备（不支持 WebHID）。请在电脑上用 Chrome、Edge、Opera 等基于 Chromium 的浏览器' +
      '打开本页，或使用 morvik-update（Linux）、update.exe（Windows）或 Morvik GamePad 应用（macOS）。',
    insecure:
      '浏览器只允许安全页面访问 USB HID 设备，而本页是以 {origin} 打开的。请通过 HTTPS 打开，或在本机通过 ' +
      'http://localhost 打开（bash scripts/serve-web.sh 会在那里提供本页）。',
    openFailed: '浏览器无法打开手柄（{error}）。请关闭正在使用它的其他程序或标签页，然后拔出手柄并重新连接。',
    openFailedLinux: '浏览器无法打开手柄（{error}）。在 Linux 上，需要先安装 udev 规则 60-morvik-gamepad.rules' +
      '（位于源代码的 linux/ 目录中，也随 morvik-update 软件包提供），当前用户才能打开手柄。' +
      '请安装一次，然后拔出手柄并重新连接：',
    udevCommand: udevCommandText,
    connectFailed: '没有选择手柄（{error}）。',
    engineFailed: '升级程序无法启动：{error}。',
    workerScriptMissing: '其脚本无法加载',
    workerFailed: '升级程序无法启动其工作线程（{error}）：未向手柄发送任何内容。请重新加载本页；如仍如此，服务器上的页面文件不完整。',
    feedTitle: '厂商的最新固件：{version}，发布于 {date}；紧急程度：{urgency}。',
    urgency_low: '低',
    urgency_medium: '中',
    urgency_high: '高',
    urgency_critical: '紧急',
    useRelease: '使用此固件',
    downloadLabel: '下载进度',
    downloading: '正在下载 {file}……{percent}%',
    downloaded: '{file} 已下载并通过校验。',
    feedRefused: '厂商的固件发布源被拒绝：{reason}；仍可选择固件文件。',
    feedUnreachable: '无法获取厂商的固件发布源（{file}：{error}）；仍可选择固件文件。',
    releaseRefused: '{file} 的下载被拒绝：{reason}；没有向手柄发送任何数据。',
    releaseUnreachable: '无法下载 {file}（{error}）；没有向手柄发送任何数据。',
    imageIsRelease: '此文件是厂商发布源中的 {version} 版本。',
    FeedTooLarge: '发布源大于 1 MiB',
    SignatureUnreadable: '发布源的签名文件无法读取',
    UnsupportedAlgorithm: '发布源的签名算法不是 ecdsa-p256-sha256',
    NoTrustedKeys: '没有受信任的发布源密钥（本版本未内置任何密钥）',
    UnknownKey: '发布源由不受信任的密钥签名',
    BadSignature: '发布源的签名无法用其密钥验证',
    CryptoFailed: '系统的加密功能出错',
    NotJson: '发布源不是 JSON 对象',
    UnsupportedSchema: '本程序不读取该发布源格式版本',
    FieldMissing: '发布源缺少字段',
    FieldWrongType: '发布源的字段类型错误',
    BadTime: '发布源的时间或日期不是 RFC 3339 格式',
    BadValue: '发布源的字段值超出范围',
    BadDigest: '版本的 SHA-256 不是 64 位十六进制数',
    Expired: '发布源已过期',
    SerialRolledBack: '发布源比已见过的更旧（序号更低）',
    UnsafeFileName: '版本的文件不是普通文件名',
    DuplicateVersion: '发布源两次列出同一版本',
    SizeTooLarge: '版本大于固件文件可有的大小',
    NoSuchRelease: '发布源中没有该版本',
    ImageSizeMismatch: '固件文件的大小与发布源所给的不符',
    ImageDigestMismatch: '固件文件的 SHA-256 与发布源所给的不符',
    ImageRefused: '该固件文件不能用于升级',
    ImageVersionMismatch: '固件文件的版本与发布源所给的不符',
  },
};

// The language the browser prefers, among the page's two.
export function preferredLanguage(languages) {
  for (const tag of languages) {
    const lower = tag.toLowerCase();
    if (lower.startsWith('zh')) return 'zh';
    if (lower.startsWith('en')) return 'en';
  }
  return 'en';
}

// The text `key` of `language` with its {placeholders} filled from `values`.
export function textOf(language, key, values = {}) {
  const template = texts[language][key] ?? texts.en[key] ?? key;
  return template.replace(/\{(\w+)\}/g, (whole, name) => (name in values ? String(values[name]) : whole));
}

// A version x 100 as the other programs show it: 123 is "1.23".
export function versionText(version) {
  return `${Math.floor(version / 100)}.${String(version % 100).padStart(2, '0')}`;
}

// A version as the page's sentences name it: "v1.23", or the factory firmware's words for the
// version word that stands for none.
export function versionWords(language, version, factoryVersion) {
  return version === factoryVersion ? textOf(language, 'factoryFirmware') : `v${versionText(version)}`;
}
