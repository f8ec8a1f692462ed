// scripts/demo.sh driven from web/adb.html in headless Chromium, as a
// newcomer uses it: the real bridge, Debian's real adb and fastboot and the
// simulated phone. In Fastboot mode the page reads the report, flashes and
// boots an image and reboots the phone; in ADB mode it reads the report and
// reboots. Every step is checked in the simulated phone's record, and Ctrl+C
// (SIGINT to the demo's process group) leaves nothing running.
"use strict";

const { test, afterEach } = require("node:test");
const assert = require("node:assert/strict");
const { spawn, spawnSync } = require("node:child_process");
const fs = require("node:fs");
const path = require("node:path");
const h = require("./harness");

const repoRoot = path.resolve(__dirname, "..", "..");
const fixtures = path.join(repoRoot, "tests", "fixtures", "report");
const ADB_SERVER_PORT = Number(process.env.TALVIK_DEMO_ADB_PORT || 5399);
const PAGE_PORT = 8080;
const BRIDGE_STOPPED = "  Bridge aur page dono band ho gaye.";
const DEMO_STOPPED = "  Demo band: simulated phone aur demo ka adb server bhi band, demo ka folder mita diya.";

// The demo runs the Linux bridge with the system's adb and fastboot; the
// Windows bridge under Wine has no demo.
function skipReason() {
  if (process.env.TALVIK_WINE_DIR) return "scripts/demo.sh runs the Linux bridge with Debian's adb and fastboot, not a Windows build";
  for (const tool of ["adb", "fastboot", "python3"]) {
    const found = (process.env.PATH || "").split(":").some((dir) => dir && fs.existsSync(path.join(dir, tool)));
    if (!found) return `${tool} is not installed (scripts/install-deps.sh installs it)`;
  }
  return "";
}

// Polls `check` until it returns something truthy, at most `ms`; returns
// that value, or fails naming `what` and what `detail()` tells then.
async function until(check, what, ms = 60000, detail = () => "") {
  for (const end = Date.now() + ms; Date.now() < end; await new Promise((r) => setTimeout(r, 50))) {
    const value = await check();
    if (value) return value;
  }
  assert.fail(`never happened within ${ms / 1000} s: ${what}\n${detail()}`);
}

async function portFree(port) {
  const server = await h.occupyPort(port);
  await h.closeServer(server);
  return Boolean(server);
}

// What `promise` gives within `ms`, or null; the timer does not outlive it.
async function within(promise, ms) {
  let timer;
  const late = new Promise((r) => (timer = setTimeout(() => r(null), ms)));
  try {
    return await Promise.race([promise, late]);
  } finally {
    clearTimeout(timer);
  }
}

// True while any process of group `pgid` is left.
function groupAlive(pgid) {
  try {
    process.kill(-pgid, 0);
    return true;
  } catch (e) {
    return e.code !== "ESRCH";
  }
}

// scripts/demo.sh in a process group of its own, as a terminal runs it.
class Demo {
  constructor(args) {
    this.args = args;
    this.output = "";
    this.proc = spawn("bash", [path.join(repoRoot, "scripts", "demo.sh"), ...args], {
      cwd: repoRoot,
      detached: true,
      stdio: ["ignore", "pipe", "pipe"],
    });
    this.proc.stdout.on("data", (c) => (this.output += c));
    this.proc.stderr.on("data", (c) => (this.output += c));
    this.ended = new Promise((r) => this.proc.on("exit", (code, signal) => r({ code, signal })));
  }

  exited() {
    return this.proc.exitCode !== null || this.proc.signalCode !== null;
  }

  // Waits for the demo's phone line and the bridge's banner up to its way
  // to stop (the demo may build the bridge first).
  async started() {
    await until(
      () => /Ctrl\+C dabayein\.\n=+\n/.test(this.output) || this.exited(),
      "the demo's banner",
      240000,
      () => this.output,
    );
    assert.equal(this.exited(), false, "the demo ended before its banner:\n" + this.output);
    const phone = /^Simulated phone: 127\.0\.0\.1:(\d+) \((\w+) mode\); what it is asked: (\S+)\/journal\.txt$/m.exec(this.output);
    assert.ok(phone, "no phone line:\n" + this.output);
    this.phonePort = Number(phone[1]);
    this.mode = phone[2];
    this.record = phone[3];
    this.folder = path.dirname(this.record);
    this.bridgePort = Number(/  Port: +127\.0\.0\.1:(\d+)\n/.exec(this.output)[1]);
  }

  // What the simulated phone was asked so far, one command a line.
  journal() {
    const file = path.join(this.record, "journal.txt");
    return fs.existsSync(file) ? fs.readFileSync(file, "utf8").split("\n").filter(Boolean) : [];
  }

  downloads() {
    return fs.existsSync(this.record) ? fs.readdirSync(this.record).filter((f) => /^download-\d+\.bin$/.test(f)) : [];
  }

  // Ctrl+C: waits for the stop lines, the folder gone and the ports free.
  async stop() {
    process.kill(-this.proc.pid, "SIGINT");
    const said = (line) => this.output.split("\n").includes(line);
    await until(() => said(BRIDGE_STOPPED), "the bridge's stop line", 60000, () => this.output);
    await until(() => said(DEMO_STOPPED), "the demo's stop line", 60000, () => this.output);
    assert.ok(await within(this.ended, 60000), "the demo did not end after its stop lines:\n" + this.output);
    await until(() => !fs.existsSync(this.folder), "the demo's folder removed: " + this.folder);
    await until(() => !groupAlive(this.proc.pid), "every process of the demo ended");
    for (const port of new Set([PAGE_PORT, this.bridgePort, h.DEFAULT_PORT, ADB_SERVER_PORT])) {
      await until(() => portFree(port), `port ${port} free again`);
    }
  }

  // Ends whatever a failed test left: Ctrl+C, then SIGKILL for the group.
  async abandon() {
    if (!this.exited()) {
      process.kill(-this.proc.pid, "SIGINT");
      const how = await within(this.ended, 30000);
      if (!how && groupAlive(this.proc.pid)) {
        process.kill(-this.proc.pid, "SIGKILL");
        // The adb server left the group when it started.
        spawnSync("adb", ["kill-server"], { env: { ...process.env, ANDROID_ADB_SERVER_PORT: String(ADB_SERVER_PORT) }, timeout: 30000 });
      }
    }
    if (this.folder) fs.rmSync(this.folder, { recursive: true, force: true });
  }
}

let demo = null;
let browser = null;

afterEach(async () => {
  if (browser) await browser.close();
  browser = null;
  if (demo) await demo.abandon();
  demo = null;
});

// Starts the demo and opens its page once the bridge is found and the
// demo's phone is listed.
async function openDemo(args) {
  for (const port of [PAGE_PORT, h.DEFAULT_PORT, ADB_SERVER_PORT]) {
    await until(() => portFree(port), `port ${port} free before the demo starts`);
  }
  demo = new Demo(args);
  await demo.started();
  browser = await h.launchBrowser();
  const page = await browser.context.newPage();
  await page.goto(`http://localhost:${PAGE_PORT}/adb.html`);
  await h.waitForText(page, "#bridge-status", "Bridge mil gaya");
  const serial = demo.mode === "fastboot" ? `tcp:127.0.0.1:${demo.phonePort}` : `127.0.0.1:${demo.phonePort}`;
  const mode = demo.mode === "fastboot" ? "Fastboot" : "ADB";
  await h.waitUntil(
    page,
    ([serial, mode]) => {
      const listed = document.querySelector("#phone-list").textContent;
      return listed.includes(serial) && listed.includes(mode) && !document.querySelector("#read-phone").disabled;
    },
    [serial, mode],
    `the page never listed the demo phone ${serial} (${mode})`,
    60000,
  );
  return { page, serial };
}

// What the page shows in its status and result regions, for failures.
function pageState(page) {
  return page.evaluate(() =>
    [...document.querySelectorAll("#bridge-status, #phone-status, #doctor-findings, .result")]
      .filter((el) => el.textContent.trim())
      .map((el) => el.id + ": " + el.textContent.trim())
      .join("\n"),
  );
}

// Runs `act` and waits for the verdict it puts into `selector`: the region
// changed, holds a verdict, and the page runs nothing more. Returns
// { ok, text }.
async function verdictOf(page, selector, act) {
  await page.evaluate((s) => {
    window.demoChanged = false;
    if (window.demoWatch) window.demoWatch.disconnect();
    window.demoWatch = new MutationObserver(() => (window.demoChanged = true));
    window.demoWatch.observe(document.querySelector(s), { childList: true, subtree: true, characterData: true, attributes: true });
  }, selector);
  await act();
  await h.waitUntil(
    page,
    `window.demoChanged && document.querySelector(${JSON.stringify(selector)}).matches(".ok, .bad") && (${h.pageIdle})()`,
    undefined,
    `no verdict in ${selector}`,
    120000,
  );
  return { ok: await page.$eval(selector, (el) => el.classList.contains("ok")), text: await page.textContent(selector) };
}

// Presses `button`, checks that the confirmation names the demo's phone,
// says yes and returns the verdict in `result`.
async function confirmed(page, button, result, serial) {
  return verdictOf(page, result, async () => {
    await page.click(button);
    await h.waitUntil(page, () => document.querySelector("#confirm").open, undefined, `${button} opened no confirmation`);
    const asked = await page.textContent("#confirm");
    assert.ok(asked.includes(serial), `the confirmation does not name ${serial}:\n${asked}`);
    await page.click("#confirm-yes");
  });
}

async function reportRows(page) {
  return page.$$eval(".report-table tr", (trs) => trs.map((tr) => [tr.cells[0].textContent, tr.cells[1].textContent]));
}

// "(bootloader) NAME:VALUE" lines of a getvar text, as a map.
function getvars(file) {
  const vars = new Map();
  for (const line of fs.readFileSync(file, "utf8").split(/\r?\n/)) {
    const m = /^\(bootloader\) (.+?):([^:]*)$/.exec(line);
    if (m) vars.set(m[1], m[2].trim());
  }
  return vars;
}

// Waits until the phone was asked `command` after the first `since` lines.
function askedAfter(since, command, what) {
  return until(() => demo.journal().slice(since).includes(command), what, 30000,
    () => "the phone was asked:\n" + demo.journal().slice(since).join("\n"));
}

const skip = skipReason() || false;

test("Fastboot demo: report, flash, boot and reboot from the page reach the simulated phone", { skip, timeout: 600000 },
  async () => {
    const vars = getvars(path.join(fixtures, "pixel-7-pro-getvar.txt"));
    const { page, serial } = await openDemo(["--fastboot"]);
    assert.equal(demo.mode, "fastboot");

    const report = await verdictOf(page, "#report-result", () => page.click("#read-phone"));
    assert.equal(report.ok, true, report.text + "\n" + (await pageState(page)));
    const rows = new Map(await reportRows(page));
    assert.equal(rows.get("Product / Model"), vars.get("product"), JSON.stringify([...rows]));
    assert.equal(rows.get("Serial"), vars.get("serialno"));
    assert.equal(rows.get("Current slot"), vars.get("current-slot"));

    // A partition the page offers; fastboot writes the current slot's copy
    // of a partition with slots.
    const offered = await page.$$eval("#image-partition option", (os) => os.map((o) => o.value).filter((v) => v !== "other"));
    const part = offered.includes("boot") ? "boot" : offered[0];
    assert.ok(part, "the page offers no partition");
    const written = vars.get(`has-slot:${part}`) === "yes" ? `${part}_${vars.get("current-slot")}` : part;
    const image = h.makeImage(256 * 1024);
    image.write("ANDROID!", 0, "latin1");

    for (const [button, command] of [["#flash-image", `flash:${written}`], ["#boot-image", "boot"]]) {
      const since = demo.journal().length;
      const before = demo.downloads().length;
      await page.selectOption("#image-partition", part);
      await page.setInputFiles("#image-file", { name: "demo-boot.img", mimeType: "application/octet-stream", buffer: image });
      const r = await confirmed(page, button, "#image-result", serial);
      assert.equal(r.ok, true, `${button}: ${r.text}\n${await pageState(page)}`);
      await askedAfter(since, command, `${button} asked the phone for ${command}`);
      const got = await until(() => demo.downloads().length === before + 1 && path.join(demo.record, `download-${before + 1}.bin`),
        `${button} sent the phone one image`);
      await until(() => h.sha256(fs.readFileSync(got)) === h.sha256(image), `${button}: the phone got the image's bytes`, 30000,
        () => `${fs.statSync(got).size} bytes received, ${image.length} chosen`);
    }

    for (const [to, command] of [["fbbootloader", "reboot-bootloader"], ["fbsystem", "reboot"]]) {
      const since = demo.journal().length;
      const r = await confirmed(page, `[data-reboot="${to}"]`, "#power-result", serial);
      assert.equal(r.ok, true, `${to}: ${r.text}\n${await pageState(page)}`);
      await askedAfter(since, command, `the reboot to ${to} reached the phone as ${command}`);
    }

    await browser.close();
    browser = null;
    await demo.stop();
    demo = null;
  });

test("ADB demo: the page reads the complete report and a reboot reaches the simulated phone", { skip, timeout: 600000 },
  async () => {
    const expected = JSON.parse(fs.readFileSync(path.join(fixtures, "complete", "expected.json"), "utf8"));
    const { page, serial } = await openDemo([]);
    assert.equal(demo.mode, "adb");

    const report = await verdictOf(page, "#report-result", () => page.click("#read-phone"));
    assert.equal(report.ok, true, report.text + "\n" + (await pageState(page)));
    // The page shows every field of the report, a few in words of its own
    // (sizes, labels); the phone's identity exactly as the phone gave it.
    const rows = await reportRows(page);
    assert.equal(rows.length, expected.fields.length, JSON.stringify(rows));
    const shown = new Map(rows);
    for (const label of ["Brand / Manufacturer", "Model", "Marketing name", "IMEI 1", "IMEI 2", "Serial", "Android version",
      "Security patch", "Build number", "Baseband"]) {
      assert.equal(shown.get(label), new Map(expected.fields).get(label), label);
    }

    const since = demo.journal().length;
    const r = await confirmed(page, '[data-reboot="system"]', "#power-result", serial);
    assert.equal(r.ok, true, r.text + "\n" + (await pageState(page)));
    await askedAfter(since, "reboot:", "the reboot reached the phone as reboot:");

    await browser.close();
    browser = null;
    await demo.stop();
    demo = null;
  });
