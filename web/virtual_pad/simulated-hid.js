// Put in place before the page's own scripts run (by the page's tests): a navigator.hid whose
// devices are the simulated pad (compiled to WebAssembly from sim/, each on a thread of its
// own), so that the page meets the same pad as the other programs' tests. It keeps WebHID's
// rules as Chromium applies them: a device must be opened before use, output reports go out
// whole (64 bytes after report ID 0, as Chromium on macOS insists), input reports arrive as
// `inputreport` events on the device, and an unplugged device fires `disconnect` on
// navigator.hid and fails every later call. window.simulatedHid is the handle of whoever put it
// there: plug, unplug, what the pad received. A pad plugged with `shared: NAME` is one pad for
// every tab of the browser profile that plugs the same name, as hidraw shares one pad among the
// programs that open it.
(() => {
  const kVendorId = 0x0483;
  const kProductId = 0x5750;
  const kReportSize = 64;

  const failure = (message, name = 'NotAllowedError') => new DOMException(message, name);

  // The pad on its thread, reached by messages.
  class PadThread {
    constructor({ onReport, onLeft }, shared) {
      const script = '/virtual-pad/simulated-pad-worker.js';
      this.worker = shared ? new SharedWorker(script, { type: 'module', name: shared }).port : new Worker(script, { type: 'module' });
      this.calls = new Map();
      this.next = 0;
      this.worker.onmessage = ({ data }) => {
        if (data.op === 'report') onReport(data.bytes);
        else if (data.op === 'left') onLeft();
        else this.calls.get(data.id)?.(data.result);
      };
    }

    call(op, args = {}) {
      const id = ++this.next;
      return new Promise((done) => {
        this.calls.set(id, done);
        this.worker.postMessage({ id, op, ...args });
      });
    }
  }

  class SimulatedHidDevice extends EventTarget {
    constructor(hid, shared) {
      super();
      this.hid = hid;
      this.plugged = true;
      this.opened = false;
      this.vendorId = kVendorId;
      this.productId = kProductId;
      this.productName = 'GamePad (boot mode)';
      this.collections = [{ usagePage: 0xff00, usage: 1, outputReports: [{ reportId: 0 }], inputReports: [{ reportId: 0 }] }];
      this.oninputreport = null;
      this.pad = new PadThread({ onReport: (bytes) => this.deliver(bytes), onLeft: () => hid.unplug(this) }, shared);
    }

    async open() {
      if (!this.plugged) throw failure('Failed to open the device.');
      this.opened = true;
    }

    async close() {
      this.opened = false;
    }

    async forget() {
      this.hid.granted.delete(this);
    }

    async sendReport(reportId, data) {
      if (!this.opened) throw failure('The device must be opened first.', 'InvalidStateError');
      if (!this.plugged) throw failure('Failed to write the report.');
      const bytes = new Uint8Array(ArrayBuffer.isView(data) ? data.buffer.slice(data.byteOffset, data.byteOffset + data.byteLength) : data);
      this.hid.sent.push({ reportId, length: bytes.length });
      if (reportId !== 0 || bytes.length !== kReportSize) throw failure('Failed to write the report.');
      const { taken, gone } = await this.pad.call('write', { bytes });
      if (gone) this.hid.unplug(this);
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
  }

  class SimulatedHid extends EventTarget {
    constructor() {
      super();
      this.devices = [];
      this.granted = new Set();
      this.sent = [];
      this.onconnect = null;
      this.ondisconnect = null;
    }

    async getDevices() {
      return this.devices.filter((device) => device.plugged && this.granted.has(device));
    }

    // The user picks the first pad that matches the filters, as a person at the chooser would.
    async requestDevice({ filters }) {
      if (!navigator.userActivation.isActive) throw failure('Must be handling a user gesture to show a permission request.', 'SecurityError');
      const matches = (device) => filters.some((f) => f.vendorId === device.vendorId && f.productId === device.productId);
      const chosen = this.devices.filter((device) => device.plugged && matches(device));
      for (const device of chosen) this.granted.add(device);
      return chosen.slice(0, 1);
    }

    async plug(behaviour = {}) {
      const device = new SimulatedHidDevice(this, behaviour.shared);
      await device.pad.call('create', { behaviour });
      // A pad plugged in again is a new device to the browser, but its permission stays; a page
      // hears of devices it may use only.
      this.devices.push(device);
      if (this.devices.some((known) => this.granted.has(known))) {
        this.granted.add(device);
        this.fire('connect', device);
      }
    }

    async unplug(device = this.devices.at(-1)) {
      if (!device?.plugged) return;
      device.plugged = false;
      device.opened = false;
      await device.pad.call('unplug');
      if (this.granted.has(device)) this.fire('disconnect', device);
    }

    fire(type, device) {
      setTimeout(() => {
        const event = new Event(type);
        Object.defineProperty(event, 'device', { value: device });
        this.dispatchEvent(event);
        this[`on${type}`]?.(event);
      }, 0);
    }

    // What the last (or the given) pad received.
    received(index = this.devices.length - 1) {
      return this.devices[index].pad.call('received');
    }
  }

  const hid = new SimulatedHid();
  Object.defineProperty(Navigator.prototype, 'hid', { get: () => hid, configurable: true });
  window.simulatedHid = hid;
})();
