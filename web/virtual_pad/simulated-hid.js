// Put in place before the page's own scripts run (by the page's tests): a navigator.hid whose
// devices are the simulated pad (compiled to WebAssembly from sim/, each on a thread of its
// own), so that the page meets the same pad as the other programs' tests. It keeps WebHID's
// rules as Chromium applies them: a device must be opened before use, output reports go out
// whole (64 bytes after report ID 0, as Chromium on macOS insists), input reports arrive as
// `inputreport` events on the device, a page hears only of the devices it was granted
// (requestDevice needs a click, and is the window's alone), and an unplugged device fires
// `disconnect` on navigator.hid and fails every later call.
// In the window it is the bus: window.simulatedHid, the handle of whoever put it there (plug,
// unplug, what the pad received), decides which pads are plugged in and granted. A worker the
// page starts runs simulated-hid-worker.js first, which puts the same navigator.hid in the
// worker: it asks the window's bus which pads it may use, and reaches each pad's thread
// directly, on a line of its own. A pad plugged with `shared: NAME` is one pad for every tab
// of the browser profile that plugs the same name, as hidraw shares one pad among the programs
// that open it.
(() => {
  const kVendorId = 0x0483;
  const kProductId = 0x5750;
  const kReportSize = 64;
  const inWindow = typeof window === 'object';
  const BrowserWorker = inWindow ? window.Worker : null;  // the browser's own, before the page's is wrapped below

  const failure = (message, name = 'NotAllowedError') => new DOMException(message, name);

  // A line to another thread (a pad's, or the window's bus): calls ({id, op, ...}) that get an
  // answer ({answer: id, result}), and the messages it sends on its own ({op, ...}).
  class Line {
    constructor(port, onEvent) {
      this.port = port;
      this.calls = new Map();
      this.next = 0;
      port.onmessage = ({ data }) => {
        if (data.answer === undefined) {
          onEvent(data);
          return;
        }
        this.calls.get(data.answer)(data.result);
        this.calls.delete(data.answer);
      };
    }

    call(op, args = {}) {
      const id = ++this.next;
      return new Promise((done) => {
        this.calls.set(id, done);
        this.port.postMessage({ id, op, ...args });
      });
    }
  }

  function fire(target, type, device) {
    setTimeout(() => {
      const event = new Event(type);
      Object.defineProperty(event, 'device', { value: device });
      target.dispatchEvent(event);
      target[`on${type}`]?.(event);
    }, 0);
  }

  class SimulatedHidDevice extends EventTarget {
    // `padPort`: this context's line to the pad's thread.
    constructor(hid, key, padPort) {
      super();
      this.hid = hid;
      this.key = key;
      this.plugged = true;
      this.opened = false;
      this.vendorId = kVendorId;
      this.productId = kProductId;
      this.productName = 'GamePad (boot mode)';
      this.collections = [{ usagePage: 0xff00, usage: 1, outputReports: [{ reportId: 0 }], inputReports: [{ reportId: 0 }] }];
      this.oninputreport = null;
      this.pad = new Line(padPort, (event) => {
        if (event.op === 'report') this.deliver(event.bytes);
        else if (event.op === 'left') this.left();
      });
    }

    async open() {
      if (!this.plugged) throw failure('Failed to open the device.');
      if (this.opened) return;
      this.opened = true;
      await this.pad.call('listen', { on: true });  // an open device hears the pad's reports
    }

    async close() {
      this.opened = false;
      await this.pad.call('listen', { on: false });
    }

    forget() {
      return this.hid.forget(this);
    }

    async sendReport(reportId, data) {
      if (!this.opened) throw failure('The device must be opened first.', 'InvalidStateError');
      if (!this.plugged) throw failure('Failed to write the report.');
      const bytes = new Uint8Array(ArrayBuffer.isView(data) ? data.buffer.slice(data.byteOffset, data.byteOffset + data.byteLength) : data);
      this.hid.sent.push({ reportId, length: bytes.length });
      if (reportId !== 0 || bytes.length !== kReportSize) throw failure('Failed to write the report.');
      const { taken } = await this.pad.call('write', { bytes });
      if (!taken) throw failure('Failed to write the report.');
    }

    deliver(bytes) {
      if (!this.plugged || !this.opened) return;  // a closed device delivers nothing
      const event = new Event('inputreport');
      Object.defineProperties(event, {
        device: { value: this },
        reportId: { value: 0 },
        data: { value: new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength) },
      });
      this.dispatchEvent(event);
      this.oninputreport?.(event);
    }

    // The pad left the bus (unplugged, or restarting): every context that knows it hears so.
    left() {
      if (!this.plugged) return;
      this.plugged = false;
      this.opened = false;
      if (this.hid.isGranted(this)) fire(this.hid, 'disconnect', this);
    }
  }

  // The window's navigator.hid, and the bus of every worker's.
  class SimulatedHid extends EventTarget {
    constructor() {
      super();
      this.devices = [];  // {device, thread}: the window's device and its pad's thread, in plugging order
      this.granted = new Set();
      this.sent = [];
      this.workers = [];  // a line to each worker's navigator.hid
      this.onconnect = null;
      this.ondisconnect = null;
    }

    isGranted(device) {
      return this.granted.has(device.key);
    }

    async getDevices() {
      return this.devices.map(({ device }) => device).filter((device) => device.plugged && this.isGranted(device));
    }

    // The user picks the first pad that matches the filters, as a person at the chooser would.
    async requestDevice({ filters }) {
      if (!navigator.userActivation.isActive) throw failure('Must be handling a user gesture to show a permission request.', 'SecurityError');
      const matches = (device) => filters.some((f) => f.vendorId === device.vendorId && f.productId === device.productId);
      const chosen = this.devices.map(({ device }) => device).filter((device) => device.plugged && matches(device));
      for (const device of chosen) this.granted.add(device.key);
      return chosen.slice(0, 1);
    }

    async forget(device) {
      this.granted.delete(device.key);
    }

    async plug(behaviour = {}) {
      const key = this.devices.length;
      const script = '/virtual-pad/simulated-pad-worker.js';
      const shared = behaviour.shared;
      const thread = shared ? new SharedWorker(script, { type: 'module', name: shared }).port : new BrowserWorker(script, { type: 'module' });
      const device = new SimulatedHidDevice(this, key, thread);
      await device.pad.call('create', { behaviour });
      // A pad plugged in again is a new device to the browser, but its permission stays; a page
      // hears of devices it may use only.
      this.devices.push({ device, thread });
      if (this.granted.size > 0) {
        this.granted.add(key);
        fire(this, 'connect', device);
        for (const worker of this.workers) worker.port.postMessage({ op: 'connect', key });
      }
    }

    async unplug(device = this.devices.at(-1)?.device) {
      if (!device?.plugged) return;
      await device.pad.call('unplug');  // the pad tells every context that it left
    }

    // What the last (or the given) pad received.
    received(index = this.devices.length - 1) {
      return this.devices[index].device.pad.call('received');
    }

    // Every report handed to sendReport, in the window and in its workers: {reportId, length}.
    async sentReports() {
      const theirs = await Promise.all(this.workers.map((worker) => worker.call('sent')));
      return [...this.sent, ...theirs.flat()];
    }

    // A worker's navigator.hid: it asks which pads it may use and gets a line to each one's thread.
    serve(port) {
      const worker = new Line(port, ({ id, op, key }) => {
        const answer = (result, transfer = []) => port.postMessage({ answer: id, result }, transfer);
        const entry = this.devices[key];
        if (op === 'granted') answer(this.devices.filter(({ device }) => device.plugged && this.isGranted(device)).map(({ device }) => device.key));
        else if (op === 'attach') {
          const channel = new MessageChannel();
          entry.thread.postMessage({ op: 'attach', port: channel.port2 }, [channel.port2]);
          answer({ port: channel.port1 }, [channel.port1]);
        } else if (op === 'forget') answer(this.granted.delete(key));
      });
      this.workers.push(worker);
    }
  }

  // A worker's navigator.hid: the devices the window's bus grants, each on a line of its own to
  // its pad's thread. Workers have no requestDevice.
  class WorkerHid extends EventTarget {
    constructor() {
      super();
      this.known = new Map();  // key -> device
      this.sent = [];
      this.onconnect = null;
      this.ondisconnect = null;
      this.bus = new Promise((done) => {
        self.addEventListener('message', (event) => {
          if (!event.data?.simulatedHid) return;
          event.stopImmediatePropagation();  // the bus's line is not the page's business
          done(new Line(event.data.simulatedHid, (message) => this.busEvent(message)));
        });
      });
    }

    isGranted(device) {
      return this.known.get(device.key) === device;
    }

    async device(key) {
      if (!this.known.has(key)) {
        const { port } = await (await this.bus).call('attach', { key });
        this.known.set(key, new SimulatedHidDevice(this, key, port));
      }
      return this.known.get(key);
    }

    async getDevices() {
      const keys = await (await this.bus).call('granted');
      const devices = await Promise.all(keys.map((key) => this.device(key)));
      return devices.filter((device) => device.plugged);
    }

    async forget(device) {
      await (await this.bus).call('forget', { key: device.key });
      this.known.delete(device.key);
    }

    async busEvent({ id, op, key }) {
      if (op === 'connect') fire(this, 'connect', await this.device(key));
      else if (op === 'sent') (await this.bus).port.postMessage({ answer: id, result: this.sent });
    }
  }

  if (inWindow) {
    const hid = new SimulatedHid();
    Object.defineProperty(Navigator.prototype, 'hid', { get: () => hid, configurable: true });
    window.simulatedHid = hid;
    // A worker the page starts runs its script after simulated-hid-worker.js, with a line to the bus.
    window.Worker = function Worker(url, options) {
      const script = new URL(url, location.href).href;
      // A script the server does not have fails the worker as the browser's own does.
      const probe = new XMLHttpRequest();
      probe.open('HEAD', script, false);
      probe.send();
      if (probe.status !== 200) return new BrowserWorker(url, options);
      const worker = new BrowserWorker(`/virtual-pad/simulated-hid-worker.js?script=${encodeURIComponent(script)}`, { ...options, type: 'module' });
      const channel = new MessageChannel();
      hid.serve(channel.port1);
      worker.postMessage({ simulatedHid: channel.port2 }, [channel.port2]);
      return worker;
    };
  } else {
    const hid = new WorkerHid();
    Object.defineProperty(WorkerNavigator.prototype, 'hid', { get: () => hid, configurable: true });
  }
})();
