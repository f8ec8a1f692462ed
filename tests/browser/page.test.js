// web/adb.html in headless Chromium against the real bridge with tool
// doubles: discovery, phone choice, reports, confirmed flashing with checks
// before upload, wireless pairing, reboot, the bridge moving or going away,
// the browser's local-network permission, and small screens.
"use strict";

const { test, before, after, beforeEach, afterEach } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const http = require("node:http");
const os = require("node:os");
const path = require("node:path");
const h = require("./harness");

const { ADB_SERIAL, FB_SERIAL, adbList, adbNoPhone, fastbootNoPhone, fastbootWithPhone: withPhone, prolog,
  fastbootFlashPlays, flashEnds, afterLeaving } = require("./phones");

const NO_PHONE =
  "Koi phone nahi mila. ADB: USB debugging ON + phone par Allow. Ya phone Fastboot mode mein layein. Cable theek hai?";
const IDENTITY_REFUSAL = "Ye identity partition (IMEI/EFS/NV/FRP) hai - ispar flash BLOCK hai (legal).";
const NOT_IMAGE = "Ye flash wali image nahi lagti (web page ya ghalat file). Seedhi image file dein.";
const NO_FASTBOOT = "Fastboot mode mein koi phone nahi mila. Phone ko bootloader (Fastboot) mode mein layein.";
const SEVERAL = "Ek se zyada phone lage hain. Ek phone chunein (serial) ya baaki nikaal dein.";
const DUPLICATE = "Do phone ek hi serial dikha rahe hain. Ek phone nikaal kar dobara koshish karein.";
const BOOT_FOR_VENDOR_BOOT =
  "Ye file boot image (ANDROID!) hai, magar vendor_boot partition ko vendor_boot image (VNDRBOOT) chahiye.";
const VENDOR_BOOT_FOR_BOOT = "Ye file vendor_boot image (VNDRBOOT) hai, magar boot partition ko boot image (ANDROID!) chahiye.";
const HEADERLESS_FOR_INIT_BOOT = "Ye file boot header ke baghair hai, magar init_boot partition ko boot image (ANDROID!) chahiye.";
const TOOL_FAILED = "fastboot ne kaam poora nahi kiya";
const WRONG_CODE = "Failed: Wrong password or connection was dropped.";
const MDNS =
  "List of discovered mdns services\\n" +
  "adb-RZ8W10ABCDE-x1\\t_adb-tls-pairing._tcp.\\t192.168.1.20:37123\\n" +
  "adb-RZ8W10ABCDE-x1\\t_adb-tls-connect._tcp.\\t192.168.1.20:41235\\n";

const adbWithPhone = [
  ...adbList(`${ADB_SERIAL}\\tdevice\\n`),
  "match getprop",
  "file pixel-8-pro-husky-getprop.txt",
  "match pair",
  `say ${WRONG_CODE}\\n`,
  "match mdns",
  `say ${MDNS}`,
  "match connect",
  "say connected to 192.168.1.20:41235\\n",
  "match",
  "",
].join("\n");
const adbUnauthorized = [...adbList(`${ADB_SERIAL}\\tunauthorized\\n`), "match", ""].join("\n");
const adbTwoPhones = [...adbList(`${ADB_SERIAL}\\tdevice\\n`, "R58N12345\\tdevice\\n"), "match", ""].join("\n");
// The phone writes until the test opens the gate "write.gate", so the page's
// stage can be looked at while it writes.
const fastbootWithPhone = withPhone(["wait write.gate"]);
// A listed Fastboot phone whose flash prints `lines` (to stderr, as fastboot does).
const fastbootFlashSays = (lines) =>
  ["match devices", `say ${FB_SERIAL}\\tfastboot\\n`, "match flash", `err ${lines}`, "match", ""].join("\n");
// Listed as present, but the flash finds no phone (unplugged meanwhile).
const fastbootGone = fastbootFlashSays("< waiting for any device >\\n");
// The ADB phone whose report waits for the gate "report.gate", to act
// while it runs.
const adbSlowReport = adbWithPhone.replace("match getprop\n", "match getprop\nwait report.gate\n");

let bridge;
let blocker;
let web;
let refusedWeb;
let browser;
let page;
let bridgeRequests;
const ready = {};

// The phone report fixtures with everything a report shows (for the picture).
const completeDir = path.join(__dirname, "..", "fixtures", "report", "complete");
const adbComplete = fs
  .readFileSync(path.join(completeDir, "adb.script"), "utf8")
  .replace(/match devices\n.*\n/, adbList(`${ADB_SERIAL}\\tdevice\\n`).join("\n") + "\n");

before(async () => {
  blocker = await h.occupyPort(h.DEFAULT_PORT);
  bridge = new h.Bridge();
  bridge.addTool("adb", adbNoPhone);
  bridge.addTool("fastboot", fastbootNoPhone);
  for (const f of ["pixel-8-pro-husky-getprop.txt", "fastboot-pixel-7-pro-cheetah-getvar.txt", "flash-ok-nothing-phone-3a.txt"]) {
    bridge.addFixture(f);
  }
  for (const f of fs.readdirSync(completeDir).filter((f) => f.endsWith(".txt"))) bridge.addFixture(f, "report/complete");
  // Open unless a test closes them.
  bridge.openGate("write.gate");
  bridge.openGate("report.gate");
  await bridge.start();
  for (const route of ["info", "flash", "wifi", "reboot", "devices", "doctor"]) ready[route] = await h.routeReady(bridge.port, route);
  web = await h.serveWeb(8080);
  refusedWeb = await h.serveWeb(8081);
  browser = await h.launchBrowser();
  page = await browser.context.newPage();
  bridgeRequests = h.trackBridgeRequests(page);
  await page.goto(h.ALLOWED_ORIGIN + "/adb.html");
  await h.waitForText(page, "#bridge-status", "Bridge mil gaya");
});

after(async () => {
  if (browser) await browser.close();
  await h.closeServer(web);
  await h.closeServer(refusedWeb);
  await h.closeServer(blocker);
  if (bridge) await bridge.dispose();
});

// Each test (and subtest) starts with no tool run recorded, and leaves no
// action running, no dialog open and the window at its usual size.
beforeEach(() => {
  if (bridge) bridge.clearToolCalls();
});

afterEach(async () => {
  if (!page) return;
  await h.settle(page, bridge, bridgeRequests);
  await page.setViewportSize({ width: 1100, height: 900 });
});

function skipUnless(t, route) {
  if (!ready[route]) t.skip(`the bridge has no ${route} route yet`);
  return !ready[route];
}

function picture(name, target = page) {
  fs.mkdirSync(h.outputDir, { recursive: true });
  return target.screenshot({ path: path.join(h.outputDir, name) });
}

// Sets the tools' scripts and opens the page afresh, so that no choice of
// an earlier test is carried over: done once the bridge is found and the
// phone list read.
async function usePhones(adb, fastboot) {
  bridge.setScript("adb", adb);
  bridge.setScript("fastboot", fastboot);
  await page.reload();
  await h.waitForText(page, "#bridge-status", "Bridge mil gaya");
  await page.waitForFunction(() => !document.querySelector("#refresh-phones").disabled);
}

// Sets the tools' scripts and reads the phone list again on the same page,
// the way a user does.
async function refreshPhones(adb, fastboot) {
  bridge.setScript("adb", adb);
  bridge.setScript("fastboot", fastboot);
  await page.click("#refresh-phones");
  await page.waitForFunction(() => !document.querySelector("#refresh-phones").disabled);
}

// Waits for the verdict in a result region once no work runs and nothing
// is held.
async function verdict(selector) {
  await page.waitForFunction(
    (s) => {
      const el = document.querySelector(s);
      return el.matches(".ok, .bad") && document.querySelector("#activity").hidden &&
        !document.querySelector("#find-bridge").disabled;
    },
    selector,
  );
  return { ok: await page.$eval(selector, (el) => el.classList.contains("ok")), text: await page.textContent(selector) };
}

// Whether an element lies wholly inside the window (run in the page). The
// window scrolls by whole pixels while edges may fall between them, so an
// edge less than a pixel past the window's counts as inside.
function inView(el) {
  const r = el.getBoundingClientRect();
  return r.top > -1 && r.bottom < window.innerHeight + 1 && r.height > 0;
}

// Waits until the element is shown wholly inside the window and, when
// given, `also` (page-side source, with `el` the element) holds too.
function waitInView(selector, message, also = "true") {
  const check = `(() => { const el = document.querySelector(${JSON.stringify(selector)}); ` +
    `return (${inView})(el) && (${also}); })()`;
  return h.waitUntil(page, check, undefined, message);
}

// Waits until `id` has the focus.
function waitFocus(id, message) {
  return h.waitUntil(page, (id) => document.activeElement && document.activeElement.id === id, id, message);
}

// Waits until tool `name` has a run whose arguments match `pattern`.
async function waitToolCall(name, pattern) {
  for (const end = Date.now() + 30000; Date.now() < end; await new Promise((r) => setTimeout(r, 20))) {
    if (bridge.toolCalls(name).some((c) => pattern.test(c))) return;
  }
  assert.fail(`${name} was never run with ${pattern}: ${bridge.toolCalls(name).join(" | ")}`);
}

// Waits for the confirmation to open. When the page answers in a result
// region instead (it refused, or lost the bridge), fails at once with what
// the page shows, so that the cause can be read from the failure.
async function confirmDialog() {
  const answered = () => document.querySelector("#confirm[open]") ||
    [...document.querySelectorAll(".result")].some((el) => el.matches(".ok, .bad"));
  await h.waitUntil(page, answered, undefined, "the confirmation never opened", 60000);
  if (await page.isVisible("#confirm[open]")) return page.textContent("#confirm");
  const state = await page.evaluate(() => [...document.querySelectorAll("#bridge-status, #phone-status, .result")]
    .filter((el) => el.textContent.trim()).map((el) => el.id + ": " + el.textContent.trim()).join(" | "));
  assert.fail("a verdict came instead of the confirmation: " + state);
}

async function reportRows() {
  return page.$$eval(".report-table tr", (trs) => trs.map((tr) => [tr.cells[0].textContent, tr.cells[1].textContent]));
}

async function readReport() {
  await page.click("#read-phone");
  return verdict("#report-result");
}

async function chooseImage(name, bytes) {
  await page.setInputFiles("#image-file", { name, mimeType: "application/octet-stream", buffer: bytes });
}

async function choosePartition(select, name) {
  const listed = await page.$$eval(`#${select} option`, (os) => os.map((o) => o.value));
  if (listed.includes(name)) return page.selectOption(`#${select}`, name);
  await page.selectOption(`#${select}`, "other");
  await page.fill(`#${select}-other`, name);
}

const fastbootFlashes = () => bridge.toolCalls("fastboot").filter((c) => / flash /.test(" " + c));

test("discovery: the page finds the bridge on its port, past another listener on 9765", async () => {
  const status = await h.waitForText(page, "#bridge-status", "Bridge mil gaya");
  assert.ok(status.includes(`127.0.0.1:${bridge.port}`), status);
  if (blocker) assert.notEqual(bridge.port, h.DEFAULT_PORT);
  assert.match(status, /version 1\.0\.0/);
  assert.match(status, /adb: mila/);
  assert.match(status, /fastboot: mila/);
  // Enabled once the phone list (read right after) is in.
  await page.waitForSelector("#read-phone:enabled");
});

test("phone choice: one phone is chosen, two must be picked, an unauthorized one is told to press Allow", async (t) => {
  if (skipUnless(t, "devices")) return;

  await t.test("a single ready phone is chosen and named beside every action; other-mode reboots look apart", async () => {
    await usePhones(adbWithPhone, fastbootNoPhone);
    const badges = await page.$$eval("[data-phone-badge]", (bs) => bs.map((b) => b.textContent));
    assert.ok(badges.length >= 4);
    for (const b of badges) assert.match(b, new RegExp(`${ADB_SERIAL} · ADB`));
    const marked = await page.$$eval("[data-reboot]", (bs) =>
      bs.map((b) => [b.dataset.reboot, b.classList.contains("other-mode"), getComputedStyle(b).borderStyle]));
    for (const [to, other, border] of marked) {
      const fastbootTarget = ["fbsystem", "fbbootloader", "fastbootd"].includes(to);
      assert.equal(other, fastbootTarget, to);
      assert.equal(border === "dashed", fastbootTarget, to);
    }
    assert.match(await page.textContent('[data-mode-note="Fastboot"]'), /ADB mode mein hai/);
  });

  await t.test("two phones: nothing is chosen, an action asks to choose, a choice reaches the bridge", async () => {
    await usePhones(adbTwoPhones, fastbootNoPhone);
    assert.match(await page.textContent("#phone-status"), /Ek se zyada phone/);
    await page.click('[data-reboot="recovery"]');
    const refused = await verdict("#power-result");
    assert.equal(refused.ok, false);
    assert.ok(refused.text.includes(SEVERAL), refused.text);
    assert.equal(await page.isVisible("#confirm[open]"), false);

    await page.check('input[name=phone][value="R58N12345"]');
    bridge.clearToolCalls("adb");
    await page.click('[data-reboot="recovery"]');
    assert.match(await confirmDialog(), /R58N12345/);
    await page.click("#confirm-yes");
    assert.equal((await verdict("#power-result")).ok, true);
    assert.ok(bridge.toolCalls("adb").some((c) => /-s R58N12345 reboot recovery$/.test(c)), bridge.toolCalls("adb").join("\n"));
  });

  await t.test("an unauthorized phone gets the Allow instruction, also from the report", async () => {
    await usePhones(adbUnauthorized, fastbootNoPhone);
    assert.match(await page.textContent("#phone-list"), /Allow/);
    assert.equal(await page.isDisabled(`input[name=phone][value="${ADB_SERIAL}"]`), true);
    const r = await readReport();
    assert.equal(r.ok, false);
    assert.match(r.text, /Allow/);
  });
});

test("a report belongs to its phone: nothing read unchosen, the read names its phone and holds the choice", async (t) => {
  if (skipUnless(t, "info") || skipUnless(t, "devices")) return;
  await usePhones(adbSlowReport, fastbootWithPhone);
  bridge.clearToolCalls("adb");
  bridge.clearToolCalls("fastboot");
  const toolReads = () => [...bridge.toolCalls("adb"), ...bridge.toolCalls("fastboot")].filter((c) => / (shell|getvar) /.test(` ${c} `));

  const refused = await readReport();
  assert.equal(refused.ok, false);
  assert.ok(refused.text.includes(SEVERAL), refused.text);
  assert.deepEqual(toolReads(), []);

  await page.check(`input[name=phone][value="${ADB_SERIAL}"]`);
  // The report is held up until the choice has been tried while it runs.
  bridge.closeGate("report.gate");
  await page.click("#read-phone");
  await page.waitForSelector("#activity:not([hidden])");
  assert.deepEqual(await page.$$eval("input[name=phone]", (rs) => rs.map((r) => r.disabled)), [true, true]);
  // Even a choice forced onto the held list does not move the read.
  await page.$eval(`input[name=phone][value="${FB_SERIAL}"]`, (r) => {
    r.disabled = false;
    r.click();
  });
  bridge.openGate("report.gate");
  const r = await verdict("#report-result");
  assert.equal(r.ok, true, r.text);
  assert.match(r.text, new RegExp(`Phone ${ADB_SERIAL}`));
  assert.match(await page.textContent("#report-owner"), new RegExp(`${ADB_SERIAL} · ADB$`));
  assert.ok(toolReads().length > 0 && toolReads().every((c) => c.startsWith(`-s ${ADB_SERIAL} `)), toolReads().join("\n"));
  assert.ok((await reportRows()).length > 0);

  // Another phone chosen: the report of the first one goes, Copy and Save with it.
  await page.check(`input[name=phone][value="${FB_SERIAL}"]`);
  assert.deepEqual(await reportRows(), []);
  assert.equal(await page.isVisible("#report-copy"), false);
  assert.equal(await page.isVisible("#report-save-text"), false);
  assert.equal(await page.isVisible("#report-owner"), false);
  assert.match(await page.textContent("#report-result"), new RegExp(`${ADB_SERIAL} ki thi`));
});

test("phones the bridge cannot tell apart or name: shown with the reason, never chosen, never sent", async (t) => {
  if (skipUnless(t, "devices")) return;
  const urls = [];
  const onRequest = (req) => urls.push(req.url());
  page.on("request", onRequest);
  try {
    await t.test("one serial listed twice: neither is offered, a flash is refused before sending", async () => {
      const twins = fastbootWithPhone.replace(`say ${FB_SERIAL}\\tfastboot\\n`, "say 0123456789ABCDEF\\tfastboot\\n0123456789ABCDEF\\tfastboot\\n");
      await usePhones(adbNoPhone, twins);
      bridge.clearToolCalls("fastboot");
      assert.equal(await page.$$eval("input[name=phone]", (rs) => rs.filter((r) => !r.disabled).length), 0);
      assert.ok((await page.textContent("#phone-list")).includes(DUPLICATE));
      assert.ok((await page.textContent("#phone-status")).includes(DUPLICATE));
      await choosePartition("image-partition", "dtbo");
      await chooseImage("dtbo.img", h.makeImage(4096));
      await page.click("#flash-image");
      const r = await verdict("#image-result");
      assert.ok(r.text.includes(DUPLICATE), r.text);
      assert.match(r.text, /Agla qadam: .*nikaal dein/);
      assert.deepEqual(fastbootFlashes(), []);
    });

    await t.test("a line without a usable serial beside a good phone: counted, explained, the good one must be picked", async (tt) => {
      const listed = fastbootWithPhone.replace(`say ${FB_SERIAL}\\tfastboot\\n`,
        `say no permissions (user in plugdev group; are your udev rules wrong?)\\tfastboot\\n${FB_SERIAL}\\tfastboot\\n`);
      bridge.setScript("fastboot", listed);
      const devices = JSON.parse((await h.bridgeGet(bridge.port, "/devices", false)).body).devices;
      if (devices.length < 2) return tt.skip("this bridge leaves unusable lines out of /devices");
      await usePhones(adbNoPhone, listed);
      bridge.clearToolCalls("fastboot");
      assert.match(await page.textContent("#phone-status"), /Ek se zyada phone/);
      assert.equal(await page.$$eval("input[name=phone]", (rs) => rs.filter((r) => !r.disabled).length), 1);
      assert.match(await page.textContent("#phone-list"), /serial nahi parha gaya/);
      assert.match(await page.textContent("#phone-help"), /USB driver.*udev/);
      await picture("phone-choice.png", page.locator("#phone"));
      await page.click('[data-reboot="fbbootloader"]');
      assert.ok((await verdict("#power-result")).text.includes(SEVERAL));
      await page.check(`input[name=phone][value="${FB_SERIAL}"]`);
      await page.click('[data-reboot="fbbootloader"]');
      await confirmDialog();
      await page.click("#confirm-yes");
      assert.equal((await verdict("#power-result")).ok, true);
      const reboots = bridge.toolCalls("fastboot").filter((c) => / reboot/.test(c));
      assert.deepEqual(reboots, [`-s ${FB_SERIAL} reboot-bootloader`]);
    });
    const empty = urls.filter((u) => /[?&]serial=(&|$)/.test(u));
    assert.deepEqual(empty, []);
  } finally {
    page.off("request", onRequest);
  }
});

test("phone labels: each phone's own, whatever its serial or its model's text", async (t) => {
  if (skipUnless(t, "devices") || skipUnless(t, "info")) return;
  const labels = () => page.$$eval("#phone-list label", (ls) => ls.map((l) => l.textContent.trim()));
  const badges = () => page.$$eval("[data-phone-badge]", (bs) => bs.map((b) => b.textContent));

  await t.test("serials that are names of every object (__proto__, constructor) get no made-up model", async () => {
    await usePhones([...adbList("__proto__\\tdevice\\n", "constructor\\tdevice\\n"), "match", ""].join("\n"),
      fastbootNoPhone);
    const shown = await labels();
    assert.equal(shown.length, 2, shown.join("\n"));
    assert.match(shown[0], /^__proto__ · ADB · /);
    assert.match(shown[1], /^constructor · ADB · /);
    await page.check('input[name=phone][value="constructor"]');
    for (const b of await badges()) assert.equal(b, "Phone: constructor · ADB");
    await page.check('input[name=phone][value="__proto__"]');
    for (const b of await badges()) assert.equal(b, "Phone: __proto__ · ADB");
  });

  await t.test("a model with bidi controls stays isolated beside the serial", async () => {
    // U+202E (right-to-left override) and a reversed serial in the model.
    const script = [...adbList(`${ADB_SERIAL}\\tdevice\\n`), "match getprop",
      "say [ro.product.model]: [Pixel \\xe2\\x80\\xae54321N85R\\xe2\\x81\\xa6]\\n", "match", ""].join("\n");
    await usePhones(script, fastbootNoPhone);
    const r = await readReport();
    assert.equal(r.ok, true, r.text);
    const model = "Pixel 54321N85R";
    const controls = /[\u061c\u200e\u200f\u202a-\u202e\u2066\u2067]/;
    // In the list the model is an element of its own; the serial follows it.
    assert.deepEqual(await page.$$eval("#phone-list label bdi", (bs) => bs.map((b) => b.textContent)), [model]);
    const [label] = await labels();
    assert.ok(label.startsWith(`${model} · ${ADB_SERIAL} · ADB`), label);
    // In texts, the model sits between first-strong isolate and pop isolate,
    // and no control of its own is left.
    for (const b of await badges()) assert.equal(b, `Phone: \u2068${model}\u2069 · ${ADB_SERIAL} · ADB`);
    const owner = await page.textContent("#report-owner");
    assert.ok(owner.endsWith(`\u2068${model}\u2069 · ${ADB_SERIAL} · ADB`), JSON.stringify(owner));
    for (const text of [label, ...(await badges()), owner]) assert.ok(!controls.test(text), JSON.stringify(text));
  });
});

test("report: ADB, Fastboot and no phone, grouped, in GB, copied as text", async (t) => {
  if (skipUnless(t, "info")) return;

  await t.test("an ADB report: every row of the bridge, grouped, storage in GB, copy gives label: value lines", async () => {
    await usePhones(adbComplete, fastbootNoPhone);
    const r = await readReport();
    assert.equal(r.ok, true, r.text);
    assert.match(r.text, /Mode: ADB/);
    const body = JSON.parse((await h.bridgeGet(bridge.port, "/info", false)).body);
    const rows = await reportRows();
    assert.equal(rows.length, body.fields.length);
    const shown = new Map(rows);
    for (const [label, value] of body.fields) {
      if (label === "Storage (/data)" || label.startsWith("ro.")) continue;
      assert.equal(shown.get(label), value, label);
    }
    assert.equal(shown.get("Storage (/data)"), "220.55 GB total · 139.35 GB free");
    assert.ok(!rows.some(([l]) => l.startsWith("ro.")), "raw property name as a label");
    const groups = await page.$$eval("#report-groups h3", (hs) => hs.map((x) => x.textContent));
    assert.deepEqual(groups, ["Pehchaan (identity)", "Software", "Security", "Hardware aur battery"]);

    await browser.context.grantPermissions(["clipboard-read", "clipboard-write"], { origin: h.ALLOWED_ORIGIN });
    await page.click("#report-copy");
    // The copy is written on its own time; the page says when it is done.
    await h.waitForText(page, "#report-result", "Report copy ho gayi");
    const copied = await page.evaluate(() => navigator.clipboard.readText());
    assert.equal(copied.split("\n")[0], `Phone: ${ADB_SERIAL} · Mode: ADB`);
    assert.ok(copied.includes("Model: SM-S918B\n"), copied);
    assert.ok(copied.includes("RAM: 11.18 GB\n"), copied);
    assert.equal(copied.trim().split("\n").length, rows.length + 1);
    await page.click("#read-phone");
    await verdict("#report-result");
    await picture("report-view.png", page.locator("#report"));
  });

  await t.test("a Fastboot report replaces the ADB one", async () => {
    // The same page: the ADB phone is gone, the Fastboot one is chosen.
    await refreshPhones(adbNoPhone, fastbootWithPhone);
    await page.check(`input[name=phone][value="${FB_SERIAL}"]`);
    const r = await readReport();
    assert.match(r.text, /Mode: Fastboot/);
    const rows = await reportRows();
    assert.ok(rows.some(([, v]) => v.includes(FB_SERIAL)), JSON.stringify(rows));
    assert.ok(!rows.some(([, v]) => v.includes("SM-S918B")));
  });

  await t.test("no phone: the bridge's text and no table", async () => {
    await usePhones(adbNoPhone, fastbootNoPhone);
    const r = await readReport();
    assert.equal(r.ok, false);
    assert.ok(r.text.includes(NO_PHONE), r.text);
    assert.deepEqual(await reportRows(), []);
  });
});

test("no phone ready: the bridge's findings shown once, as the next step, under the answer", async (t) => {
  if (skipUnless(t, "devices") || skipUnless(t, "doctor")) return;
  const shownFindings = () => page.$$eval("#doctor-findings li", (lis) => lis.map((li) => li.firstChild.textContent));
  const bridgeFindings = async () => JSON.parse((await h.bridgeGet(bridge.port, "/doctor", false)).body).findings;

  await t.test("a no-phone answer: the doctor's texts, and after each 'Phone list taza karein' still each once", async () => {
    await usePhones(adbNoPhone, fastbootNoPhone);
    const r = await readReport();
    assert.ok(r.text.includes(NO_PHONE), r.text);
    await page.waitForSelector("#report-result + #doctor:not([hidden]) li");
    // What the bridge sees of this machine's USB varies; with no phone it
    // always has something to say.
    const texts = (await bridgeFindings()).map((f) => f.text);
    assert.ok(texts.length > 0);
    assert.deepEqual(await shownFindings(), texts);
    // The page's own help for an empty list stays beside the findings.
    assert.equal(await page.isVisible("#phone-help"), true);
    await picture("doctor.png", page.locator("#report"));
    for (let i = 0; i < 2; i++) {
      await page.click("#refresh-phones");
      await page.waitForFunction(() => !document.querySelector("#refresh-phones").disabled);
      assert.deepEqual(await shownFindings(), texts);
    }
    assert.equal(await page.isVisible("#doctor"), true);
  });

  await t.test("an unauthorized phone: refused at once, and the doctor names it", async () => {
    await usePhones(adbUnauthorized, fastbootNoPhone);
    assert.equal(await page.isVisible("#doctor"), false);
    await page.click('[data-reboot="system"]');
    const r = await verdict("#power-result");
    assert.match(r.text, /Allow/);
    await page.waitForSelector("#power-result + #doctor:not([hidden]) li");
    const findings = await bridgeFindings();
    assert.ok(findings.some((f) => /unauthorized/.test(f.code)), JSON.stringify(findings));
    assert.deepEqual(await shownFindings(), findings.map((f) => f.text));
  });

  await t.test("a ready phone: the findings go", async () => {
    await refreshPhones(adbWithPhone, fastbootNoPhone);
    assert.equal(await page.isVisible("#doctor"), false);
  });
});

test("the doctor's words are shown as text, once each, and a bridge without /doctor adds nothing", async (t) => {
  if (skipUnless(t, "devices")) return;
  let reply = "";
  await browser.context.route("**/doctor", (route) =>
    route.fulfill({
      status: 200,
      headers: { "Access-Control-Allow-Origin": h.ALLOWED_ORIGIN, "Content-Type": "application/json" },
      body: reply,
    }));
  try {
    const markup = '<img src="x" onerror="window.doctorRan = 1"><b>driver</b>';
    const finding = { code: "usb_no_driver", mode: "Fastboot", usb: "18d1:4ee0", text: markup };
    reply = JSON.stringify({ ok: true, findings: [finding, finding] });
    await usePhones(adbNoPhone, fastbootNoPhone);
    await page.waitForSelector("#doctor:not([hidden]) li");
    assert.deepEqual(await page.$$eval("#doctor-findings li", (lis) => lis.map((li) => li.textContent)),
      [markup + " (Fastboot · USB 18d1:4ee0)"]);
    assert.equal(await page.$$eval("#doctor img, #doctor b", (els) => els.length), 0);
    assert.equal(await page.evaluate(() => window.doctorRan), undefined);

    // An older bridge: the unknown-route reply; the findings shown go, the
    // page's own help stays.
    reply = '{"ok":false,"error":"unknown"}';
    await page.click("#refresh-phones");
    await page.waitForFunction(() => !document.querySelector("#refresh-phones").disabled);
    assert.equal(await page.isVisible("#doctor"), false);
    assert.match(await page.textContent("#phone-help"), /USB debugging ON/);
  } finally {
    await browser.context.unroute("**/doctor");
  }
});

test("flash from a file: checks before upload, confirmation, progress and verdict", async (t) => {
  if (skipUnless(t, "flash")) return;
  const image = h.makeImage(5 * 1024 * 1024);
  image.write("ANDROID!", 0, "latin1");

  await t.test("no phone in Fastboot mode: a clear message and next step, nothing sent", async (tt) => {
    if (!ready.devices) return tt.skip("the bridge lists no phones yet");
    await usePhones(adbWithPhone, fastbootNoPhone);
    bridge.clearToolCalls("fastboot");
    await choosePartition("image-partition", "boot");
    await chooseImage("boot.img", image);
    await page.click("#flash-image");
    const r = await verdict("#image-result");
    assert.equal(r.ok, false);
    assert.ok(r.text.includes(NO_FASTBOOT), r.text);
    assert.match(r.text, /Agla qadam: .*Volume Down/);
    assert.deepEqual(fastbootFlashes(), []);
  });

  await t.test("a fastboot that cannot run: the doctor says so under the answer", async (tt) => {
    if (!ready.devices || !ready.doctor) return tt.skip("the bridge has no /devices or /doctor yet");
    bridge.breakTool("fastboot");
    try {
      await usePhones(adbNoPhone, fastbootNoPhone);
      await choosePartition("image-partition", "boot");
      await chooseImage("boot.img", image);
      await page.click("#flash-image");
      const r = await verdict("#image-result");
      assert.equal(r.ok, false);
      await page.waitForSelector("#image-result + #doctor:not([hidden]) li");
      const shown = await page.$$eval("#doctor-findings li", (lis) => lis.map((li) => li.textContent));
      assert.ok(r.text.includes(NO_FASTBOOT), r.text);
      assert.ok(shown.some((text) => text.startsWith("fastboot ki file mili magar chal nahi saki")), shown.join("\n"));
    } finally {
      bridge.mendTool("fastboot");
    }
  });

  await t.test("a phone that is gone when fastboot runs: failure, next step and the log, not a frozen page", async () => {
    await usePhones(adbNoPhone, fastbootGone);
    await choosePartition("image-partition", "boot");
    await chooseImage("boot.img", image.subarray(0, 4096));
    await page.click("#flash-image");
    await confirmDialog();
    await page.click("#confirm-yes");
    const r = await verdict("#image-result");
    assert.equal(r.ok, false);
    assert.match(r.text, /✗ Nakam/);
    assert.match(await page.textContent("#image-result .detail"), /^Phone Fastboot mode mein nahi mila/);
    assert.ok(!r.text.includes(TOOL_FAILED), r.text);
    assert.match(r.text, /Agla qadam: .*bootloader \(Fastboot\)/);
    assert.equal(await page.isDisabled("#flash-image"), false);
    await picture("flash-failed.png", page.locator("#image"));
  });

  await t.test("the confirmation names phone, partition and file; Enter does not confirm; focus comes back", async () => {
    await usePhones(adbNoPhone, fastbootWithPhone);
    bridge.clearToolCalls("fastboot");
    const listed = await page.$$eval("#image-partition option", (os) => os.map((o) => o.value));
    for (const name of ["boot_a", "boot_b", "init_boot_a", "vendor_boot_b"]) assert.ok(listed.includes(name), name);
    await choosePartition("image-partition", "boot_a");
    await chooseImage("boot.img", image);
    assert.equal(await page.textContent("#image-file-name"), "boot.img · 5.0 MB (5,242,880 bytes)");
    await page.focus("#flash-image");
    await page.keyboard.press("Enter");
    const text = await confirmDialog();
    await waitFocus("confirm-no", "the dialog does not give its no button the focus");
    for (const part of ["boot_a", "boot.img", "5.0 MB (5,242,880 bytes)"]) assert.ok(text.includes(part), text);
    if (ready.devices) assert.ok(text.includes(FB_SERIAL), text);
    await picture("flash-confirm.png");
    await page.keyboard.press("Enter");
    const r = await verdict("#image-result");
    assert.match(r.text, /rok diya/);
    assert.deepEqual(fastbootFlashes(), []);
    await page.waitForFunction(() => document.activeElement.id === "flash-image");
  });

  await t.test("confirmed: upload, then writing with no bar and the choice held, then the verdict in view with focus", async () => {
    // Larger than the loopback buffers hold: while the bridge is busy with
    // another flash, this upload stops part way with its bar shown.
    const big = h.makeImage(32 * 1024 * 1024);
    big.write("ANDROID!", 0, "latin1");
    const folder = fs.mkdtempSync(path.join(os.tmpdir(), "talvik-upload-"));
    try {
      fs.writeFileSync(path.join(folder, "boot.img"), big);
      // A freshly loaded page, as a user's first flash: no earlier upload has
      // left its percentage in the stage box.
      await page.reload();
      await h.waitForText(page, "#bridge-status", "Bridge mil gaya");
      await usePhones(adbNoPhone, ["match flash dtbo", "wait busy.gate", "say OKAY\\n", fastbootWithPhone].join("\n"));
      await choosePartition("image-partition", "boot_a");
      await page.setInputFiles("#image-file", path.join(folder, "boot.img"));
      fs.rmSync(bridge.file("flashed.img"), { force: true });
      // A short window scrolled away from the stage box: the page brings
      // the box into view by itself, and keeps it there as the bar comes.
      await page.setViewportSize({ width: 1280, height: 600 });
      bridge.closeGate("busy.gate");
      bridge.closeGate("write.gate");
      await page.click("#flash-image");
      await confirmDialog();
      const other = h.rawRequest(bridge.port,
        `POST /flash?partition=dtbo&serial=${FB_SERIAL} HTTP/1.1\r\nHost: 127.0.0.1:${bridge.port}\r\n` +
          `Origin: ${h.ALLOWED_ORIGIN}\r\nX-Talvik-Bridge: 1\r\nContent-Length: 4\r\nConnection: close\r\n\r\ndtbo`);
      await waitToolCall("fastboot", / flash dtbo /);
      await page.evaluate(() => window.scrollTo(0, 0));
      await page.click("#confirm-yes");
      await waitInView("#activity", "the stage box is out of view while the upload's bar shows",
        "!el.hidden && !document.querySelector('#upload-progress').hidden && " +
          "/File bhej rahe hain: boot\\.img/.test(el.textContent)");
      bridge.openGate("busy.gate");
      assert.match((await other).body, /"ok":true/);
      // Once the bridge has every byte the stage says so and names the
      // command that runs, and the finished upload's bar is gone; fastboot
      // says nothing until the gate opens.
      await waitInView("#activity", "the stage box is out of view",
        "!el.hidden && /File mil gayi \\(32\\.0 MB\\)\\. fastboot shuru ho raha hai \\(fastboot flash boot_a\\)/" +
          ".test(el.textContent) && " +
          "document.querySelector('#upload-progress').hidden && document.querySelector('#upload-percent').hidden");
      assert.ok(await page.$$eval("input[name=phone]", (rs) => rs.length > 0 && rs.every((r) => r.disabled)));
      bridge.openGate("write.gate");
      const r = await verdict("#image-result");
      assert.equal(r.ok, true, r.text);
      assert.match(r.text, new RegExp(`✓ Kamyab: Flash \\(boot_a\\)${ready.devices ? ` · .*${FB_SERIAL} · Fastboot` : ""}`));
      await waitFocus("image-result", "the verdict does not have the focus");
      await waitInView("#image-result", "the verdict is out of view");
      assert.match(await page.textContent("#image-result pre"), /Finished\. Total time/);
      const calls = fastbootFlashes().filter((c) => !/ flash dtbo /.test(c));
      assert.equal(calls.length, 1, calls.join("\n"));
      assert.match(calls[0], ready.devices ? new RegExp(`-s ${FB_SERIAL} flash boot_a `) : /flash boot_a /);
      // fastboot got exactly the bytes the page uploaded.
      assert.equal(h.sha256(fs.readFileSync(bridge.file("flashed.img"))), h.sha256(big));
    } finally {
      fs.rmSync(folder, { recursive: true, force: true });
    }
  });

  await t.test("refused before upload: identity partitions, a web page, a boot partition's image of another kind", async () => {
    bridge.clearToolCalls("fastboot");
    const vendorBoot = Buffer.concat([Buffer.from("VNDRBOOT", "latin1"), h.makeImage(4088)]);
    const refusals = [
      ["EFS", "efs.img", image, IDENTITY_REFUSAL],
      ["Protect_F", "protect_f.img", image, IDENTITY_REFUSAL],
      ["nvdata_b", "nvdata.img", image, IDENTITY_REFUSAL],
      ["super", "super.img", Buffer.from("\xef\xbb\xbf \n<!doctype html><title>Drive</title>", "latin1"), NOT_IMAGE],
      ["super", "error.img", Buffer.from('{"error":"quota"}'), NOT_IMAGE],
      ["vendor_boot", "boot.img", image, BOOT_FOR_VENDOR_BOOT],
      ["boot", "vendor_boot.img", vendorBoot, VENDOR_BOOT_FOR_BOOT],
      ["init_boot", "init_boot.img", h.makeImage(4096), HEADERLESS_FOR_INIT_BOOT],
    ];
    for (const [partition, name, bytes, text] of refusals) {
      await choosePartition("image-partition", partition);
      await chooseImage(name, bytes);
      await page.click("#flash-image");
      const r = await verdict("#image-result");
      assert.equal(r.ok, false, name);
      assert.ok(r.text.includes(text), name + ": " + r.text);
      // Share-link advice is for web pages, not for a headerless boot file.
      assert.equal(r.text.includes("Share link"), text === NOT_IMAGE, name + ": " + r.text);
      if (text !== NOT_IMAGE && text !== IDENTITY_REFUSAL) {
        assert.match(await page.textContent("#image-result .next"), /apni image chunein/);
      }
      assert.equal(await page.isVisible("#confirm[open]"), false);
    }
    assert.deepEqual(bridge.toolCalls("fastboot"), []);
  });

  await t.test("a sparse boot image (img2simg's form) goes to boot as it is", async () => {
    await usePhones(adbNoPhone, fastbootWithPhone);
    bridge.clearToolCalls("fastboot");
    const le = (v, n) => Buffer.from(Array.from({ length: n }, (_, i) => Math.floor(v / 256 ** i) % 256));
    const data = h.makeImage(2 * 4096);
    data.write("ANDROID!", 0, "latin1");
    const sparse = Buffer.concat([Buffer.from([0x3a, 0xff, 0x26, 0xed]), le(1, 2), le(0, 2), le(28, 2), le(12, 2),
      le(4096, 4), le(2, 4), le(1, 4), le(0, 4), le(0xcac1, 2), le(0, 2), le(2, 4), le(12 + data.length, 4), data]);
    await choosePartition("image-partition", "boot");
    await chooseImage("boot.simg", sparse);
    await page.click("#flash-image");
    await confirmDialog();
    await page.click("#confirm-yes");
    const r = await verdict("#image-result");
    assert.equal(r.ok, true, r.text);
    assert.equal(fastbootFlashes().length, 1);
    assert.equal(h.sha256(fs.readFileSync(bridge.file("flashed.img"))), h.sha256(sparse));
  });
});

test("flash progress: the stages as the bridge tells them, silence, and work cut off mid-way", async (t) => {
  if (skipUnless(t, "flash") || skipUnless(t, "devices")) return;
  const image = h.makeImage(3 * 1024 * 1024);
  image.write("ANDROID!", 0, "latin1");
  const flashBoot = async (target = page) => {
    await target.selectOption("#image-partition", "boot");
    await target.setInputFiles("#image-file", { name: "boot.img", mimeType: "application/octet-stream", buffer: image });
    await target.click("#flash-image");
    await target.waitForSelector("#confirm[open]");
    await target.click("#confirm-yes");
  };
  // The phone's answer to the first part, the second part and the end.
  const secondPart = [
    "err OKAY [  0.257s]\\n" + prolog("Writing 'boot'"),
    "err (bootloader) writing block 0 of the partition\\n",
    "err OKAY [  0.001s]\\n" + prolog("Sending sparse 'boot' 2/2 (12 KB)"),
    flashEnds,
  ];

  await t.test("a flash in parts: upload %, each part sent and written with the bar moving, then the verdict", async () => {
    await usePhones(adbNoPhone, fastbootFlashPlays("err " + prolog("Sending sparse 'boot' 1/2 (1020 KB)"),
      "wait part.gate", ...secondPart));
    bridge.closeGate("part.gate");
    await h.recordStages(page);
    await flashBoot();
    // fastboot is held on its first part: the page shows it, with its bar.
    await h.waitForText(page, "#activity-stage", "fastboot phone ko bhej raha hai: hissa 1/2 (1.0 MB)");
    assert.deepEqual(await page.$eval("#work-progress", (b) => [b.hidden, b.value, b.max, b.getAttribute("aria-label")]),
      [false, 0, 2, "Hisse"]);
    await waitInView("#activity", "the stage box is out of view while a part is sent");
    bridge.openGate("part.gate");
    const r = await verdict("#image-result");
    assert.equal(r.ok, true, r.text);
    h.assertInOrder(await h.stagesShown(page), [
      /^upload-percent: \d+ %$/,
      /^activity-stage: File mil gayi \(3\.0 MB\)\. fastboot shuru ho raha hai \(fastboot flash boot\)/,
      /^activity-stage: fastboot phone ko bhej raha hai: hissa 1\/2 \(1\.0 MB\)$/,
      /^activity-stage: Phone likh raha hai: hissa 1\/2$/,
      /^activity-detail: Phone ka paigham: writing block 0 of the partition$/,
      /^activity-stage: fastboot phone ko bhej raha hai: hissa 2\/2 \(12 KB\)$/,
      /^activity-stage: Phone likh raha hai: hissa 2\/2$/,
    ]);
    assert.equal(h.sha256(fs.readFileSync(bridge.file("flashed.img"))), h.sha256(image));
  });

  await t.test("a silent fastboot: past 10 s the page says how long the phone has said nothing", async () => {
    await usePhones(adbNoPhone, fastbootFlashPlays("err " + prolog("Sending 'boot' (3072 KB)"), "wait quiet.gate",
      flashEnds));
    bridge.closeGate("quiet.gate");
    await flashBoot();
    await h.waitForText(page, "#activity-stage", "hissa 1/1");
    // The bridge repeats the stage every 5 s while fastboot is silent.
    const quiet = await h.waitForText(page, "#activity-quiet", /^Phone ne \d+ s se kuch nahi kaha\./, 45000);
    assert.ok(Number(/(\d+) s/.exec(quiet)[1]) > 10, quiet);
    assert.equal(await page.isVisible("#activity-quiet"), true);
    assert.equal(await page.textContent("#activity-stage"), "fastboot phone ko bhej raha hai: hissa 1/1 (3.0 MB)");
    bridge.openGate("quiet.gate");
    assert.equal((await verdict("#image-result")).ok, true);
  });

  await t.test("a phone that went away while written: the cause and the step before starting Android", async () => {
    await usePhones(adbNoPhone, fastbootFlashPlays("err " + prolog("Sending 'boot' (3072 KB)"),
      "err OKAY [  0.130s]\\n" + prolog("Writing 'boot'"),
      "err FAILED (Write to device failed (No such device))\\nfastboot: error: Command failed\\n"));
    await h.recordStages(page);
    await flashBoot();
    const r = await verdict("#image-result");
    assert.equal(r.ok, false, r.text);
    assert.match(await page.textContent("#image-result .detail"), /^Kaam ke dauran phone se USB raabta toot gaya/);
    assert.match(await page.textContent("#image-result .next"),
      /^Agla qadam: Cable dobara .*Fastboot mode mein layein.* Android mein start na karein: adhoora likha boot partition .*bootloop/);
    assert.ok(!r.text.includes(TOOL_FAILED), r.text);
    const shown = await h.stagesShown(page);
    assert.ok(shown.includes("activity-detail: fastboot: FAILED (Write to device failed (No such device))"), shown.join("\n"));
  });

  await t.test("refused before any work: a plain reply to the same request, read as ever", async () => {
    for (const [button, result, prepare] of [
      ["#flash-image", "#image-result", async () => {
        await page.selectOption("#image-partition", "boot");
        await chooseImage("boot.img", image);
      }],
      ["#flash-url", "#url-result", async () => {
        await page.selectOption("#url-partition", "boot");
        await page.fill("#url-address", "http://127.0.0.1:9/boot.img");
      }],
    ]) {
      await usePhones(adbNoPhone, fastbootWithPhone);
      await prepare();
      await page.click(button);
      await confirmDialog();
      // The phone leaves after the page's own check: the bridge refuses.
      bridge.setScript("fastboot", fastbootNoPhone);
      const reply = page.waitForResponse((res) => /\/(flash|flashurl)\?/.test(res.url()));
      await page.click("#confirm-yes");
      const response = await reply;
      assert.equal(response.request().headers()["accept"], "application/x-ndjson");
      assert.match(response.headers()["content-type"], /^application\/json/);
      const r = await verdict(result);
      assert.equal(r.ok, false, r.text);
      assert.ok(r.text.includes(NO_FASTBOOT), r.text);
      assert.match(r.text, /Agla qadam: .*Volume Down/);
    }
  });

  await t.test("a page closed mid-flash: the flash goes on to its end", async () => {
    await usePhones(adbNoPhone, fastbootFlashPlays("err " + prolog("Sending 'boot' (3072 KB)"), "wait leave.gate",
      // fastboot goes on talking after the page left: the bridge's lines to it
      // fail, and the flash must still run to its end.
      ...afterLeaving,
      "copy flashed.img after-leave.img", flashEnds));
    fs.rmSync(bridge.file("after-leave.img"), { force: true });
    bridge.closeGate("leave.gate");
    const other = await browser.context.newPage();
    try {
      await other.goto(h.ALLOWED_ORIGIN + "/adb.html");
      await h.waitForText(other, "#phone-status", new RegExp(`^Chuna gaya phone: .*${FB_SERIAL} · Fastboot$`));
      await flashBoot(other);
      await h.waitForText(other, "#activity-stage", "hissa 1/1");
    } finally {
      await other.close();
    }
    bridge.openGate("leave.gate");
    // The bridge serves one request at a time: it answers once the flash ended.
    assert.match((await h.bridgeGet(bridge.port, "/ping", false)).body, /"ok":true/);
    assert.equal(h.sha256(fs.readFileSync(bridge.file("after-leave.img"))), h.sha256(image));
  });

  await t.test("the bridge gone mid-flash: no answer, and the same concrete step", async () => {
    await usePhones(adbNoPhone, fastbootFlashPlays("err " + prolog("Sending 'boot' (3072 KB)"), "wait gone.gate",
      flashEnds));
    bridge.closeGate("gone.gate");
    await flashBoot();
    await h.waitForText(page, "#activity-stage", "hissa 1/1");
    await bridge.stop();
    try {
      const r = await verdict("#image-result");
      assert.equal(r.ok, false, r.text);
      assert.match(await page.textContent("#image-result .detail"), /^Bridge se jawab nahi aaya\. .*Natija maloom nahi/);
      assert.match(await page.textContent("#image-result .next"),
        /^Agla qadam: Bridge dobara chalayein .* Android mein start na karein: adhoora likha boot partition .*bootloop/);
    } finally {
      bridge.openGate("gone.gate");
      await bridge.start();
    }
    await h.waitForText(page, "#bridge-status", `Bridge mil gaya: 127.0.0.1:${bridge.port}`);
    await page.waitForSelector("#flash-image:enabled");
  });

  await t.test("a flash from a URL: the bytes downloaded, then the flash", async () => {
    const half = image.length / 2;
    let release = () => {};
    const released = new Promise((resolve) => (release = resolve));
    // Linux runs the system's curl against this server, which sends half the
    // image and waits; the Windows build a PowerShell double that grows the
    // file to the same half and waits for the gate.
    const server = http.createServer(async (req, res) => {
      res.writeHead(200, { "Content-Type": "application/octet-stream", "Content-Length": image.length });
      res.write(image.subarray(0, half));
      await released;
      res.end(image.subarray(half));
    });
    await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
    const wine = Boolean(process.env.TALVIK_WINE_DIR);
    try {
      if (wine) {
        fs.writeFileSync(bridge.file("slow.src"), image);
        bridge.closeGate("download.gate");
        bridge.addTool("powershell", ["match /slow.img'", `outsize ${half} -OutFile '`, "wait download.gate",
          "outfile slow.src -OutFile '", ""].join("\n"));
      }
      await usePhones(adbNoPhone, fastbootFlashPlays("err " + prolog("Sending 'boot' (3072 KB)"), flashEnds));
      await h.recordStages(page);
      await page.selectOption("#url-partition", "boot");
      await page.fill("#url-address", `http://127.0.0.1:${server.address().port}/slow.img`);
      await page.click("#flash-url");
      await confirmDialog();
      await page.click("#confirm-yes");
      // PowerShell tells no total; curl the server's Content-Length.
      const count = await h.waitForText(page, "#work-count", wine ? /^1\.5 MB$/ : /^1\.5 \/ 3\.0 MB \(\d+ %\)$/);
      assert.equal(await page.textContent("#activity-stage"), "Bridge file download kar raha hai\u2026");
      if (!wine) assert.equal(await page.getAttribute("#work-progress", "aria-label"), "Download", count);
      release();
      bridge.openGate("download.gate");
      const r = await verdict("#url-result");
      assert.equal(r.ok, true, r.text);
      h.assertInOrder(await h.stagesShown(page), [/^work-count: /, /^activity-stage: File mil gayi \(3\.0 MB\)\./,
        /^activity-stage: fastboot phone ko bhej raha hai: hissa 1\/1/]);
      assert.equal(h.sha256(fs.readFileSync(bridge.file("flashed.img"))), h.sha256(image));
    } finally {
      release();
      await h.closeServer(server);
    }
  });
});

test("wireless: ip:port pasted, pairing not ok with adb's words, mDNS fills the fields, connect offers a read", async (t) => {
  if (skipUnless(t, "wifi")) return;
  await usePhones(adbWithPhone, fastbootNoPhone);
  bridge.clearToolCalls("adb");
  await page.fill("#pair-address", "192.168.1.20:37123");
  assert.equal(await page.inputValue("#pair-address"), "192.168.1.20");
  assert.equal(await page.inputValue("#pair-port"), "37123");
  await page.fill("#pair-code", "000000");
  await page.click("#wifi-pair");
  const paired = await verdict("#wifi-result");
  assert.equal(paired.ok, false);
  assert.ok(paired.text.includes(WRONG_CODE), paired.text);
  assert.match(await page.textContent("#wifi-result .detail"), /^Pairing code ghalat hai/);
  assert.match(paired.text, /Agla qadam: .*naya code/);
  assert.ok(bridge.toolCalls("adb").includes("pair 192.168.1.20:37123 000000"), bridge.toolCalls("adb").join("\n"));

  await page.click("#wifi-mdns");
  await verdict("#wifi-result");
  const offered = await page.$$eval("#mdns-list button", (bs) => bs.map((b) => b.textContent));
  assert.equal(offered.length, 2, offered.join("\n"));
  await page.click("#mdns-list button >> text=Connect: 192.168.1.20:41235");
  assert.equal(await page.inputValue("#connect-address"), "192.168.1.20");
  assert.equal(await page.inputValue("#connect-port"), "41235");
  await page.click("#wifi-connect");
  const connected = await verdict("#wifi-result");
  assert.equal(connected.ok, true, connected.text);
  await page.waitForSelector("#wifi-read:enabled");

  // A search that finds nothing is no success: a neutral word and what to check.
  await usePhones(adbWithPhone.replace(`say ${MDNS}`, "say List of discovered mdns services\\n"), fastbootNoPhone);
  await page.click("#wifi-mdns");
  await page.waitForFunction(() => document.querySelector("#wifi-result").matches(".neutral"));
  const none = await page.textContent("#wifi-result");
  assert.ok(!/Kamyab/.test(none), none);
  assert.match(none, /koi phone nahi mila\. .*ek hi WiFi/);
});

test("a failed action says why and what to do next, from the tool's own lines", async (t) => {
  if (skipUnless(t, "flash") || skipUnless(t, "reboot") || skipUnless(t, "wifi")) return;
  const flashBoot = async () => {
    await choosePartition("image-partition", "boot");
    await chooseImage("boot.img", Buffer.from("ANDROID!" + "x".repeat(4088), "latin1"));
    await page.click("#flash-image");
    await confirmDialog();
    await page.click("#confirm-yes");
    return verdict("#image-result");
  };
  const cases = [
    ["a run the bridge ended", fastbootFlashSays("Sending 'boot_a' (4 KB)\\nBridge ne ye kaam 300 second baad rok diya (phone ya tool ne jawab nahi diya).\\n"),
      /^Phone ya tool ne 300 second tak jawab nahi diya/, /adhoora/],
    ["a locked bootloader", fastbootFlashSays("FAILED (remote: 'Flashing is not allowed in Lock State')\\n"),
      /^Bootloader locked hai/, /fastboot flashing unlock/],
    ["an unknown partition", fastbootFlashSays("FAILED (remote: '(boot_b) No such partition')\\n"),
      /^Phone par is naam ka partition nahi hai/, /boot_a ya boot_b/],
  ];
  for (const [name, script, cause, next] of cases) {
    await t.test(`flash: ${name}`, async () => {
      await usePhones(adbNoPhone, script);
      const r = await flashBoot();
      assert.equal(r.ok, false, r.text);
      assert.match(await page.textContent("#image-result .detail"), cause);
      assert.match(await page.textContent("#image-result .next"), next);
      assert.ok(!r.text.includes(TOOL_FAILED), r.text);
    });
  }

  await t.test("adb reboot: an offline phone", async () => {
    await usePhones(adbWithPhone.replace("match getprop", "match reboot\nerr error: device offline\\n\nmatch getprop"), fastbootNoPhone);
    await page.click('[data-reboot="system"]');
    await confirmDialog();
    await page.click("#confirm-yes");
    const r = await verdict("#power-result");
    assert.equal(r.ok, false, r.text);
    assert.match(r.text, new RegExp(`Restart: Normal restart · .*${ADB_SERIAL} · ADB`));
    assert.match(await page.textContent("#power-result .detail"), /^Phone offline hai/);
    assert.match(await page.textContent("#power-result .next"), /cable nikaal kar/);
  });

  await t.test("wireless connect: a refused port", async () => {
    await usePhones(adbWithPhone.replace("say connected to 192.168.1.20:41235\\n",
      "say failed to connect to '192.168.1.20:41235': Connection refused\\n"), fastbootNoPhone);
    await page.fill("#connect-address", "192.168.1.20:41235");
    await page.click("#wifi-connect");
    const r = await verdict("#wifi-result");
    assert.equal(r.ok, false, r.text);
    assert.match(await page.textContent("#wifi-result .detail"), /^Phone ne is address par connection nahi liya/);
    assert.match(await page.textContent("#wifi-result .next"), /ek hi WiFi/);
  });

  await t.test("flash from a URL: the HTTP status the server gave", async () => {
    const missing = http.createServer((req, res) => {
      res.writeHead(404, { "Content-Type": "text/plain" });
      res.end("not found");
    });
    await new Promise((resolve) => missing.listen(0, "127.0.0.1", resolve));
    try {
      // Linux runs the system's curl; the Windows build PowerShell, here a
      // double beside the bridge that answers as a refused download does.
      if (process.env.TALVIK_WINE_DIR) {
        bridge.addTool("powershell", ["match", "say Invoke-WebRequest : The remote server returned an error: (404) " +
          "Not Found.\\r\\n    + FullyQualifiedErrorId : WebCmdletWebResponseException\\r\\n", ""].join("\n"));
      }
      await usePhones(adbNoPhone, fastbootFlashSays("OKAY\\n"));
      await choosePartition("url-partition", "dtbo");
      await page.fill("#url-address", `http://127.0.0.1:${missing.address().port}/missing.img`);
      bridge.clearToolCalls("fastboot");
      await page.click("#flash-url");
      await confirmDialog();
      await page.click("#confirm-yes");
      const r = await verdict("#url-result");
      assert.equal(r.ok, false, r.text);
      assert.match(r.text, /Link ne HTTP 404 diya/);
      assert.equal(fastbootFlashes().length, 0);
    } finally {
      await h.closeServer(missing);
    }
  });
});

test("reboot to recovery asks first, then runs adb's recovery reboot and says so", async (t) => {
  if (skipUnless(t, "reboot")) return;
  await usePhones(adbWithPhone, fastbootNoPhone);
  bridge.clearToolCalls("adb");
  await page.click('[data-reboot="recovery"]');
  assert.match(await confirmDialog(), /Recovery/);
  await page.click("#confirm-yes");
  const r = await verdict("#power-result");
  assert.equal(r.ok, true, r.text);
  assert.match(r.text, /Kamyab: Restart: Recovery/);
  assert.ok(bridge.toolCalls("adb").some((c) => /(^| )reboot recovery$/.test(c)), bridge.toolCalls("adb").join("\n"));
});

// Phone A (ADB_SERIAL) and another customer's phone F (FB_SERIAL), as adb
// and fastboot list them: A in ADB mode, in Fastboot mode, or gone.
const adbPhoneA = [...adbList(`${ADB_SERIAL}\\tdevice\\n`), "match", ""].join("\n");
const fastbootListing = (...serials) => [
  "match devices",
  `say ${serials.map((s) => `${s}\\tfastboot\\n`).join("")}`,
  "match getvar",
  "file fastboot-pixel-7-pro-cheetah-getvar.txt",
  "match flash",
  "save 5 flashed.img",
  "file flash-ok-nothing-phone-3a.txt",
  "match",
  "",
].join("\n");
const AWAY = `${ADB_SERIAL} abhi list mein nahi \u2014 restart ho raha hai?`;
const badgeTexts = () => page.$$eval("[data-phone-badge]", (bs) => bs.map((b) => b.textContent));
const checkedPhones = () => page.$$eval("input[name=phone]:checked", (rs) => rs.map((r) => r.value));

test("the chosen phone is kept while it is away: no other is chosen, work waits, it is chosen again in its new mode", async (t) => {
  if (skipUnless(t, "devices") || skipUnless(t, "flash") || skipUnless(t, "reboot")) return;
  const image = h.makeImage(4096);
  image.write("ANDROID!", 0, "latin1");

  await t.test("A leaves the list: it stays chosen, every action is held with that text, F is offered only", async () => {
    await usePhones(adbPhoneA, fastbootListing(FB_SERIAL));
    await page.check(`input[name=phone][value="${ADB_SERIAL}"]`);
    await refreshPhones(adbNoPhone, fastbootListing(FB_SERIAL));
    bridge.clearToolCalls();
    assert.equal(await page.textContent("#phone-status"), AWAY);
    assert.equal(await page.$eval("#phone-status", (el) => el.classList.contains("ok")), false);
    for (const b of await badgeTexts()) assert.equal(b, "Phone: " + AWAY);
    assert.deepEqual(await checkedPhones(), []);
    assert.equal(await page.isEnabled(`input[name=phone][value="${FB_SERIAL}"]`), true);
    await choosePartition("image-partition", "boot");
    await chooseImage("boot.img", image);
    for (const [button, result] of [["#flash-image", "#image-result"], ["#boot-image", "#image-result"],
      ['[data-reboot="fbsystem"]', "#power-result"], ['[data-reboot="bootloader"]', "#power-result"],
      ["#read-phone", "#report-result"]]) {
      await page.click(button);
      const r = await verdict(result);
      assert.equal(r.ok, false, button);
      assert.ok(r.text.includes(AWAY), button + ": " + r.text);
      assert.equal(await page.isVisible("#confirm[open]"), false, button);
    }
    assert.deepEqual(bridge.toolCalls("fastboot").filter((c) => /(flash|boot|reboot) /.test(c + " ")), []);
    assert.deepEqual(bridge.toolCalls("adb").filter((c) => / (reboot|shell)/.test(c)), []);
  });

  await t.test("A comes back in Fastboot mode: chosen again there, and the flash is confirmed and sent for A", async () => {
    // Restarted into Android, A leaves fastboot's list.
    fs.writeFileSync(bridge.file("fastboot-after.script"), fastbootListing(FB_SERIAL));
    await refreshPhones(adbNoPhone, ["match reboot", "copy fastboot-after.script fastboot.script",
      fastbootListing(FB_SERIAL, ADB_SERIAL)].join("\n"));
    assert.equal(await page.textContent("#phone-status"), `Chuna gaya phone: ${ADB_SERIAL} · Fastboot`);
    // The refusal the phone's absence gave is gone with it.
    assert.equal(await page.textContent("#report-result"), "");
    assert.deepEqual(await checkedPhones(), [ADB_SERIAL]);
    await page.click("#flash-image");
    const asked = await confirmDialog();
    assert.ok(asked.includes(ADB_SERIAL) && !asked.includes(FB_SERIAL), asked);
    await page.click("#confirm-yes");
    const r = await verdict("#image-result");
    assert.equal(r.ok, true, r.text);
    assert.deepEqual(fastbootFlashes().map((c) => c.split(" ").slice(0, 4).join(" ")), [`-s ${ADB_SERIAL} flash boot`]);
  });

  await t.test("after the flash Android's start is offered, and runs only when asked, with its confirmation", async () => {
    await page.waitForSelector("#image-result #start-android:enabled");
    assert.equal(await page.textContent("#start-android"), "Android start karein");
    assert.deepEqual(bridge.toolCalls("fastboot").filter((c) => / reboot/.test(c)), []);
    bridge.clearToolCalls();
    await page.click("#start-android");
    const asked = await confirmDialog();
    assert.match(asked, /Fastboot se Android/);
    assert.ok(asked.includes(ADB_SERIAL) && !asked.includes(FB_SERIAL), asked);
    // A starts Android: adb lists it again.
    bridge.setScript("adb", adbPhoneA);
    await page.click("#confirm-yes");
    const r = await verdict("#power-result");
    assert.equal(r.ok, true, r.text);
    assert.deepEqual(bridge.toolCalls("fastboot").filter((c) => / reboot/.test(c)), [`-s ${ADB_SERIAL} reboot`]);
    // Back in ADB mode the next step is reading it.
    await page.waitForSelector("#power-result #next-read:enabled");
    assert.match(await page.textContent("#phone-status"), new RegExp(`^Chuna gaya phone: ${ADB_SERIAL} · ADB$`));
  });
});

test("a restart into the bootloader: the page waits for that phone, then offers the flash for it", async (t) => {
  if (skipUnless(t, "devices") || skipUnless(t, "reboot")) return;
  await usePhones(adbPhoneA, fastbootListing(FB_SERIAL));
  await page.check(`input[name=phone][value="${ADB_SERIAL}"]`);
  await page.click('[data-reboot="bootloader"]');
  assert.ok((await confirmDialog()).includes(ADB_SERIAL));
  // The phone restarts: adb no longer lists it, fastboot not yet.
  bridge.setScript("adb", adbNoPhone);
  await page.click("#confirm-yes");
  await h.waitForText(page, "#activity-stage", new RegExp(`^${ADB_SERIAL} Fastboot mode mein aa raha hai\u2026 \\d+ s$`));
  await h.waitForText(page, "#phone-status", AWAY);
  assert.deepEqual(await checkedPhones(), []);
  assert.match(await page.textContent("#power-result"), /Kamyab: Restart: Bootloader/);
  bridge.setScript("fastboot", fastbootListing(FB_SERIAL, ADB_SERIAL));
  await page.waitForSelector("#power-result #next-flash:enabled");
  assert.match(await page.textContent("#power-result .next"), /Fastboot mode mein aa gaya/);
  assert.equal(await page.textContent("#phone-status"), `Chuna gaya phone: ${ADB_SERIAL} · Fastboot`);
  assert.ok(bridge.toolCalls("adb").includes(`-s ${ADB_SERIAL} reboot bootloader`), bridge.toolCalls("adb").join("\n"));
  await page.click("#next-flash");
  await waitFocus("image-partition", "the offered flash does not lead to the image's fields");
  await choosePartition("image-partition", "boot");
  await chooseImage("boot.img", Buffer.from("ANDROID!" + "x".repeat(4088), "latin1"));
  await page.click("#flash-image");
  const asked = await confirmDialog();
  assert.ok(asked.includes(ADB_SERIAL) && !asked.includes(FB_SERIAL), asked);
});

test("a restart into the bootloader that never arrives: after the wait the bridge's findings are the next step", async (t) => {
  if (skipUnless(t, "devices") || skipUnless(t, "reboot") || skipUnless(t, "doctor")) return;
  await usePhones(adbPhoneA, fastbootNoPhone);
  await page.click('[data-reboot="bootloader"]');
  assert.ok((await confirmDialog()).includes(ADB_SERIAL));
  // The phone leaves adb's list and never shows in fastboot's.
  bridge.setScript("adb", adbNoPhone);
  await page.click("#confirm-yes");
  await h.waitForText(page, "#activity-stage", new RegExp(`^${ADB_SERIAL} Fastboot mode mein aa raha hai\u2026 \\d+ s$`));
  // The page's clock jumps past the wait, so the test need not sit through it.
  await page.evaluate(() => {
    window.testRealNow = Date.now;
    Date.now = () => window.testRealNow.call(Date) + 61000;
  });
  try {
    const r = await verdict("#power-result");
    assert.equal(r.ok, true, r.text);
    assert.match(r.text, /Phone 60 s mein Fastboot mode mein nahi aaya\./);
    const findings = JSON.parse((await h.bridgeGet(bridge.port, "/doctor", false)).body).findings;
    assert.ok(findings.length > 0, "the bridge found nothing to say");
    const next = "Agla qadam: " + findings.map((f) => f.text).join(" ");
    await waitInView("#power-result", "the doctor's findings are not the next step in view",
      `(el.querySelector(".next") || {}).textContent === ${JSON.stringify(next)}`);
    assert.equal(await page.isVisible("#power-result #next-flash"), false);
  } finally {
    await page.evaluate(() => {
      if (window.testRealNow) Date.now = window.testRealNow;
    });
  }
});

test("listed but not ready: the bridge's finding for that phone is the next step, in view", async (t) => {
  if (skipUnless(t, "devices") || skipUnless(t, "doctor") || skipUnless(t, "reboot")) return;
  const findingFor = async (serial) => {
    const findings = JSON.parse((await h.bridgeGet(bridge.port, "/doctor", false)).body).findings;
    const own = findings.filter((f) => f.serial === serial);
    assert.equal(own.length, 1, JSON.stringify(findings));
    return own[0].text;
  };
  const nextStepIs = (selector, text) => waitInView(selector, `the next step in ${selector} is not the finding in view`,
    `(el.querySelector(".next") || {}).textContent === ${JSON.stringify("Agla qadam: " + text)}`);

  await t.test("an offline phone: its finding after a read and after a restart, not 'USB debugging ON'", async () => {
    await usePhones([...adbList(`${ADB_SERIAL}\\toffline\\n`), "match", ""].join("\n"), fastbootNoPhone);
    const offline = await findingFor(ADB_SERIAL);
    for (const [width, height] of [[1280, 800], [360, 740]]) {
      await page.setViewportSize({ width, height });
      await page.evaluate(() => window.scrollTo(0, 0));
      await page.click("#read-phone");
      assert.equal((await verdict("#report-result")).ok, false);
      await nextStepIs("#report-result", offline);
    }
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.click('[data-reboot="system"]');
    assert.equal((await verdict("#power-result")).ok, false);
    await nextStepIs("#power-result", offline);
    assert.ok(!(await page.textContent("#power-result")).includes("USB debugging ON"));
  });

  await t.test("a phone in recovery: read gets its finding, and adb's restart reaches it", async () => {
    await usePhones([...adbList(`${ADB_SERIAL}\\trecovery\\n`), "match", ""].join("\n"), fastbootNoPhone);
    const other = await findingFor(ADB_SERIAL);
    await page.click("#read-phone");
    assert.equal((await verdict("#report-result")).ok, false);
    await nextStepIs("#report-result", other);
    bridge.clearToolCalls("adb");
    await page.click('[data-reboot="system"]');
    assert.ok((await confirmDialog()).includes(ADB_SERIAL));
    bridge.setScript("adb", adbPhoneA);
    await page.click("#confirm-yes");
    const r = await verdict("#power-result");
    assert.equal(r.ok, true, r.text);
    assert.ok(bridge.toolCalls("adb").includes(`-s ${ADB_SERIAL} reboot`), bridge.toolCalls("adb").join("\n"));
    await page.waitForSelector("#power-result #next-read");
  });
});

test("nothing stale: a refusal goes once a later read shows its cause gone", async (t) => {
  if (skipUnless(t, "devices")) return;

  await t.test("not allowed, then allowed: the refusal and its findings go with the next list", async () => {
    await usePhones(adbUnauthorized, fastbootNoPhone);
    const r = await readReport();
    assert.match(r.text, /ijazat nahi di/);
    await refreshPhones(adbPhoneA, fastbootNoPhone);
    assert.equal(await page.textContent("#report-result"), "");
    assert.equal(await page.isVisible("#doctor"), false);
  });

  await t.test("no bridge, then the bridge found: 'Bridge nahi mila' goes", async () => {
    await usePhones(adbPhoneA, fastbootNoPhone);
    await bridge.stop();
    try {
      const r = await readReport();
      assert.match(r.text, /nahi mila/);
    } finally {
      await bridge.start();
    }
    await h.waitForText(page, "#bridge-status", `Bridge mil gaya: 127.0.0.1:${bridge.port}`);
    await h.waitUntil(page, () => document.querySelector("#report-result").textContent === "", undefined,
      "the verdict that no bridge was found stays under a found bridge");
  });
});

test("small points: slot names, what a URL needs, the ADB server stop asks, Tab stays in the dialog, USB makers", async (t) => {
  if (skipUnless(t, "devices") || skipUnless(t, "flash")) return;

  await t.test("a flash of boot on an A/B phone: the dialog names the current slot, the verdict what fastboot wrote", async () => {
    const writesSlot = ["match devices", `say ${FB_SERIAL}\\tfastboot\\n`, "match getvar",
      "file fastboot-pixel-7-pro-cheetah-getvar.txt", "match flash", "err " + prolog("Sending 'boot_a' (4 KB)") +
      "OKAY [  0.010s]\\n" + prolog("Writing 'boot_a'") + "OKAY [  0.000s]\\nFinished. Total time: 0.020s\\n",
    "match", ""].join("\n");
    await usePhones(adbNoPhone, writesSlot);
    assert.equal((await readReport()).ok, true);
    await choosePartition("image-partition", "boot");
    await chooseImage("boot.img", Buffer.from("ANDROID!" + "x".repeat(4088), "latin1"));
    await page.click("#flash-image");
    assert.match(await confirmDialog(), /Slotboot_a \(phone ka current slot a\)/);
    await page.click("#confirm-yes");
    const r = await verdict("#image-result");
    assert.equal(r.ok, true, r.text);
    assert.match(r.text, /boot_a likh diya gaya\./);
  });

  await t.test("a URL that is none: the verdict says it must start with http:// or https://", async () => {
    await page.selectOption("#url-partition", "dtbo");
    await page.fill("#url-address", "ftp://example.com/dtbo.img");
    await page.click("#flash-url");
    const r = await verdict("#url-result");
    assert.equal(r.ok, false);
    assert.match(await page.textContent("#url-result .next"), /http:\/\/ ya https:\/\/ se shuru/);
  });

  await t.test("the ADB server stop asks first and says WiFi phones are cut off; Tab stays in the dialog", async () => {
    bridge.clearToolCalls("adb");
    await page.click("#adb-kill");
    assert.match(await confirmDialog(), /WiFi .* disconnect/);
    await waitFocus("confirm-no", "the dialog does not give its no button the focus");
    for (const id of ["confirm-yes", "confirm-no", "confirm-yes"]) {
      await page.keyboard.press("Tab");
      await waitFocus(id, "Tab left the dialog");
    }
    await page.keyboard.press("Shift+Tab");
    await waitFocus("confirm-no", "Shift+Tab left the dialog");
    await page.keyboard.press("Escape");
    assert.match((await verdict("#power-result")).text, /rok diya/);
    assert.deepEqual(bridge.toolCalls("adb").filter((c) => /kill-server/.test(c)), []);
  });

  await t.test("a USB id is shown with its maker's name where the bridge gives it", async () => {
    await browser.context.route("**/doctor", (route) => route.fulfill({
      status: 200,
      headers: { "Access-Control-Allow-Origin": h.ALLOWED_ORIGIN, "Content-Type": "application/json" },
      body: JSON.stringify({ ok: true, findings: [{ code: "usb_debugging_off", usb: "2717:ff48", maker: "Xiaomi",
        text: "USB debugging ON karein." }] }),
    }));
    try {
      await usePhones(adbNoPhone, fastbootNoPhone);
      await h.waitForText(page, "#doctor-findings", "USB debugging ON karein. (USB 2717:ff48 (Xiaomi))");
    } finally {
      await browser.context.unroute("**/doctor");
    }
  });
});

test("any screen: no sideways scroll at 390 and 360 px, results announced, progress named, lang set", async () => {
  assert.match(await page.getAttribute("html", "lang"), /^ur/);
  for (const id of ["bridge-status", "phone-status", "report-result", "image-result", "url-result", "wifi-result", "power-result"]) {
    assert.equal(await page.getAttribute("#" + id, "aria-live"), "polite", id);
  }
  assert.ok(await page.getAttribute("#upload-progress", "aria-label"));
  // The stage is announced when it changes; the seconds counting up are not.
  assert.equal(await page.getAttribute("#activity-stage", "aria-live"), "polite");
  assert.equal(await page.$eval("#activity-elapsed", (el) => el.closest("[aria-live]")), null);
  if (ready.info) {
    await usePhones(adbComplete, fastbootNoPhone);
    await readReport();
  }
  for (const width of [390, 360]) {
    await page.setViewportSize({ width, height: 844 });
    const overflow = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
    assert.equal(overflow, 0, `${width} px wide page scrolls sideways by ${overflow} px`);
    // Report labels keep their words whole: every word fits its cell's line.
    const broken = await page.$$eval(".report-table th", (ths) =>
      ths.flatMap((th) => {
        const room = th.clientWidth - parseFloat(getComputedStyle(th).paddingLeft) - parseFloat(getComputedStyle(th).paddingRight);
        return th.textContent.split(/\s+/).filter((word) => {
          const probe = document.createElement("span");
          probe.style.whiteSpace = "nowrap";
          probe.textContent = word;
          th.append(probe);
          const wide = probe.getBoundingClientRect().width > room + 0.5;
          probe.remove();
          return wide;
        });
      }));
    assert.deepEqual(broken, [], `${width} px: labels broken inside a word`);
  }
  // The browser's own English file button is not shown; the page's is.
  assert.ok(await page.$eval("#image-file", (el) => el.getBoundingClientRect().width <= 1));
  assert.equal(await page.isVisible("label[for=image-file]"), true);
  await page.setViewportSize({ width: 390, height: 844 });
  await picture("phone-screen.png");
  await page.setViewportSize({ width: 1100, height: 900 });
});

test("from http://localhost:8081 the page gets no report and says why", async () => {
  const other = await browser.context.newPage();
  try {
    await other.goto(h.REFUSED_ORIGIN + "/adb.html");
    const status = await h.waitForText(other, "#bridge-status", /istemal nahi ho sakta|Koi bridge/);
    assert.match(status, /is address \(http:\/\/localhost:8081\) se istemal nahi ho sakta/);
    assert.equal(await other.isDisabled("#read-phone"), true);
    // Any request it still makes is withheld by the browser.
    const outcome = await other.evaluate(async (port) => {
      try {
        await fetch(`http://127.0.0.1:${port}/ping`);
        return "read";
      } catch (e) {
        return "refused";
      }
    }, bridge.port);
    assert.equal(outcome, "refused");
  } finally {
    await other.close();
  }
});

test("from the public site: a refused local-network permission is told apart from no bridge", async () => {
  const site = await h.serveSite();
  // One browser per answer: Chromium does not take back a refusal it was
  // given for this permission.
  const open = async (setting) => {
    const pub = await h.launchBrowser(site.address().port, { publicSite: true });
    const p = await pub.context.newPage();
    await h.setLocalNetworkPermission(pub.context, p, setting);
    await p.goto(h.SITE_ORIGIN + "/adb.html");
    return { pub, p, status: await h.waitForText(p, "#bridge-status", /rok diya|Koi bridge|mil gaya/) };
  };
  try {
    const refused = await open("denied");
    try {
      assert.match(refused.status, /Browser ne .* rok diya/);
      assert.match(await refused.p.textContent("#bridge-help"), /Local network access/);
      assert.equal(await refused.p.isVisible("#bridge-steps"), false);
      // From the site the steps (shown when no bridge answers) download the Windows bridge.
      assert.equal(await refused.p.getAttribute("#bridge-download", "href"), "talvik-web-bridge.exe");
      assert.match(await refused.p.textContent("#bridge-steps"), /double-click/);
      await picture("browser-blocked.png", refused.p.locator("#bridge"));
    } finally {
      await refused.pub.close();
    }
    const allowed = await open("granted");
    await allowed.pub.close();
    assert.ok(allowed.status.includes(`Bridge mil gaya: 127.0.0.1:${bridge.port}`), allowed.status);
  } finally {
    await h.closeServer(site);
  }
});

test("a bridge that restarted on another port is found again and the read goes through", async (t) => {
  if (skipUnless(t, "info")) return;
  if (!blocker) return t.skip("port 9765 was taken before the suite started");
  await usePhones(adbWithPhone, fastbootNoPhone);
  const oldPort = bridge.port;
  await bridge.stop();
  await h.closeServer(blocker);
  blocker = null;
  await bridge.start();
  assert.notEqual(bridge.port, oldPort);
  const r = await readReport();
  assert.equal(r.ok, true, r.text);
  assert.ok((await page.textContent("#bridge-status")).includes(`127.0.0.1:${bridge.port}`));
});

test("a bridge that went away: searched again on its own, then 'no bridge' with the steps to start it", async () => {
  await bridge.stop();
  await h.closeServer(blocker);
  blocker = null;
  await page.click("#adb-kill");
  await confirmDialog();
  await page.click("#confirm-yes");
  const r = await verdict("#power-result");
  assert.equal(r.ok, false);
  assert.match(r.text, /Bridge se jawab nahi aaya\. .*nahi mila/);
  assert.match(await page.textContent("#bridge-status"), /^Koi bridge nahi chal raha/);
  // Served from this PC: the bridge is started with the project's script,
  // no Windows download is named.
  const steps = await page.textContent("#bridge-steps");
  assert.match(steps, /bash scripts\/run\.sh/);
  assert.ok(!/\.exe|double-click/.test(steps), steps);
  assert.equal(await page.isVisible("#bridge-steps"), true);
  assert.equal(await page.isDisabled("#read-phone"), true);
  // No bridge, no phone state: nothing green or "ready" stays behind.
  assert.equal(await page.$eval("#phone-status", (el) => el.classList.contains("ok")), false);
  assert.equal(await page.$$eval("input[name=phone]", (rs) => rs.length), 0);
  for (const badge of await page.$$eval("[data-phone-badge]", (bs) => bs.map((b) => b.textContent))) {
    assert.equal(badge, "Phone: bridge nahi mila");
  }
  await picture("no-bridge.png", page.locator("#bridge"));

  // A listener that takes the connection and says nothing is what a bridge
  // busy with another request looks like: not reported as missing.
  const held = [];
  const silent = await h.listenSilently(h.DEFAULT_PORT, held);
  if (!silent) return;
  try {
    await page.click("#find-bridge");
    const busy = await h.waitForText(page, "#bridge-status", /jawab nahi diya|Koi bridge|mil gaya/);
    assert.match(busy, /^127\.0\.0\.1:9765 par kisi ne connection liya magar jawab nahi diya/);
  } finally {
    for (const socket of held) socket.destroy();
    await h.closeServer(silent);
  }
});

test("a bridge started after the page is found on its own, and the page is ready to use", async () => {
  // The page has looked and found no bridge.
  await bridge.stop();
  await page.click("#find-bridge");
  await h.waitForText(page, "#bridge-status", /^Koi bridge nahi chal raha/);
  bridge.setScript("adb", adbWithPhone);
  bridge.setScript("fastboot", fastbootNoPhone);
  await bridge.start();
  const status = await h.waitForText(page, "#bridge-status", "Bridge mil gaya");
  assert.ok(status.includes(`127.0.0.1:${bridge.port}`), status);
  await page.waitForSelector("#read-phone:enabled");
  if (ready.devices) await h.waitForText(page, "#phone-status", new RegExp(`^Chuna gaya phone: .*${ADB_SERIAL} · ADB$`));
});
