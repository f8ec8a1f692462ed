// web/adb.html's main path in Debian's Firefox ESR against the real bridge
// with tool doubles: finding the bridge, the phone report, a confirmed
// flash whose bytes reach fastboot exactly, and the stages the bridge's
// progress lines tell, from an upload and from a URL. The page needs nothing
// that only Chromium has; this keeps it so. (Firefox fires the upload's load
// event only when the reply arrives: here the upload's end is known from
// the bridge's first line.)
"use strict";

const { test, before, after, beforeEach, afterEach } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const http = require("node:http");
const os = require("node:os");
const path = require("node:path");
const h = require("./harness");
const { launchFirefox, waitForText } = require("./firefox-support");

const { ADB_SERIAL, FB_SERIAL, adbList, adbNoPhone, fastbootNoPhone, fastbootWithPhone: withPhone, prolog,
  fastbootFlashPlays, flashEnds, afterLeaving } = require("./phones");

const adbWithPhone = [
  ...adbList(`${ADB_SERIAL}\\tdevice\\n`),
  "match getprop",
  "file pixel-8-pro-husky-getprop.txt",
  "match",
  "",
].join("\n");
const fastbootWithPhone = withPhone();

let bridge;
let web;
let firefox;
let page;
let bridgeRequests;
let imageDir;

before(async () => {
  bridge = new h.Bridge();
  bridge.addTool("adb", adbWithPhone);
  bridge.addTool("fastboot", fastbootNoPhone);
  for (const f of ["pixel-8-pro-husky-getprop.txt", "fastboot-pixel-7-pro-cheetah-getvar.txt", "flash-ok-nothing-phone-3a.txt"]) {
    bridge.addFixture(f);
  }
  await bridge.start();
  web = await h.serveWeb(8080);
  firefox = await launchFirefox();
  page = await firefox.browser.newPage();
  page.setDefaultTimeout(60000);
  bridgeRequests = h.trackBridgeRequests(page);
  await page.goto(h.ALLOWED_ORIGIN + "/adb.html");
  imageDir = fs.mkdtempSync(path.join(os.tmpdir(), "talvik-firefox-image-"));
});

after(async () => {
  if (firefox) await firefox.close();
  await h.closeServer(web);
  if (bridge) await bridge.dispose();
  if (imageDir) fs.rmSync(imageDir, { recursive: true, force: true });
});

// Each test starts with no tool run recorded and leaves no action running.
beforeEach(() => {
  if (bridge) bridge.clearToolCalls();
});

afterEach(async () => {
  if (page) await h.settle(page, bridge, bridgeRequests);
});

// Sets the tools' scripts and opens the page afresh, so that no choice of
// an earlier test is carried over: done once the bridge is found and the
// phone list read.
async function usePhones(adb, fastboot) {
  bridge.setScript("adb", adb);
  bridge.setScript("fastboot", fastboot);
  await page.reload();
  await waitForText(page, "#bridge-status", "Bridge mil gaya");
  await page.waitForFunction(() => !document.querySelector("#refresh-phones").disabled, { polling: 100 });
}

// Sets the tools' scripts and reads the phone list again on the same page,
// the way a user does.
async function refreshPhones(adb, fastboot) {
  bridge.setScript("adb", adb);
  bridge.setScript("fastboot", fastboot);
  await page.click("#refresh-phones");
  await page.waitForFunction(() => !document.querySelector("#refresh-phones").disabled, { polling: 100 });
}

// Waits for the verdict in a result region once no work runs.
async function verdict(selector) {
  await page.waitForFunction(
    (s) => document.querySelector(s).matches(".ok, .bad") && document.querySelector("#activity").hidden,
    { polling: 100 },
    selector,
  );
  return page.$eval(selector, (el) => ({ ok: el.classList.contains("ok"), text: el.textContent }));
}

test("Firefox: the page finds the bridge and lists its phone", async () => {
  const status = await waitForText(page, "#bridge-status", "Bridge mil gaya");
  assert.ok(status.includes(`127.0.0.1:${bridge.port}`), status);
  assert.match(status, /version 1\.0\.0/);
  await page.waitForSelector("#read-phone:enabled");
  const badge = await page.$eval("[data-phone-badge]", (b) => b.textContent);
  assert.match(badge, new RegExp(`${ADB_SERIAL} · ADB`));
});

test("Firefox: the ADB report shows the bridge's rows", async () => {
  await usePhones(adbWithPhone, fastbootNoPhone);
  await page.click("#read-phone");
  const r = await verdict("#report-result");
  assert.equal(r.ok, true, r.text);
  assert.match(r.text, /Mode: ADB/);
  const body = JSON.parse((await h.bridgeGet(bridge.port, `/info?serial=${ADB_SERIAL}`, false)).body);
  const rows = await page.$$eval(".report-table tr", (trs) => trs.map((tr) => [tr.cells[0].textContent, tr.cells[1].textContent]));
  assert.equal(rows.length, body.fields.length);
  const shown = new Map(rows);
  assert.equal(shown.get("Model"), "Pixel 8 Pro");
  for (const [label, value] of body.fields) {
    if (label.startsWith("Storage") || label.startsWith("ro.")) continue;
    assert.equal(shown.get(label), value, label);
  }
});

test("Firefox: a confirmed flash sends fastboot exactly the chosen file", async () => {
  // An odd size over several of the bridge's 1 MiB receive chunks.
  const image = h.makeImage(5 * 1024 * 1024 + 20).subarray(0, 5 * 1024 * 1024 + 17);
  image.write("ANDROID!", 0, "latin1");
  const file = path.join(imageDir, "boot.img");
  fs.writeFileSync(file, image);

  await usePhones(adbNoPhone, fastbootWithPhone);
  bridge.clearToolCalls("fastboot");
  await page.select("#image-partition", "boot");
  const input = await page.$("#image-file");
  await input.uploadFile(file);
  await page.click("#flash-image");
  await page.waitForSelector("#confirm[open]");
  const asked = await page.$eval("#confirm", (d) => d.textContent);
  for (const part of ["boot", "boot.img", FB_SERIAL]) assert.ok(asked.includes(part), asked);
  await page.click("#confirm-yes");

  const r = await verdict("#image-result");
  assert.equal(r.ok, true, r.text);
  assert.match(r.text, /✓ Kamyab: Flash \(boot\)/);
  const flashes = bridge.toolCalls("fastboot").filter((c) => / flash /.test(" " + c));
  assert.equal(flashes.length, 1, flashes.join("\n"));
  assert.match(flashes[0], new RegExp(`-s ${FB_SERIAL} flash boot `));
  assert.equal(h.sha256(fs.readFileSync(bridge.file("flashed.img"))), h.sha256(image));
});

test("Firefox: a flash in parts shows each part as the bridge tells it, then the verdict", async () => {
  const image = h.makeImage(3 * 1024 * 1024);
  image.write("ANDROID!", 0, "latin1");
  const file = path.join(imageDir, "parts.img");
  fs.writeFileSync(file, image);
  await usePhones(adbNoPhone, fastbootFlashPlays("err " + prolog("Sending sparse 'boot' 1/2 (1020 KB)"),
    "wait part.gate", "err OKAY [  0.257s]\\n" + prolog("Writing 'boot'"),
    "err OKAY [  0.001s]\\n" + prolog("Sending sparse 'boot' 2/2 (12 KB)"), flashEnds));
  bridge.closeGate("part.gate");
  await h.recordStages(page);
  await page.select("#image-partition", "boot");
  await (await page.$("#image-file")).uploadFile(file);
  await page.click("#flash-image");
  await page.waitForSelector("#confirm[open]");
  await page.click("#confirm-yes");
  await waitForText(page, "#activity-stage", "fastboot phone ko bhej raha hai: hissa 1/2 (1.0 MB)");
  assert.deepEqual(await page.$eval("#work-progress", (b) => [b.hidden, b.value, b.max]), [false, 0, 2]);
  bridge.openGate("part.gate");
  const r = await verdict("#image-result");
  assert.equal(r.ok, true, r.text);
  h.assertInOrder(await h.stagesShown(page), [
    /^upload-percent: \d+ %$/,
    /^activity-stage: File mil gayi \(3\.0 MB\)\. fastboot shuru ho raha hai/,
    /^activity-stage: fastboot phone ko bhej raha hai: hissa 1\/2/,
    /^activity-stage: Phone likh raha hai: hissa 1\/2$/,
    /^activity-stage: fastboot phone ko bhej raha hai: hissa 2\/2/,
  ]);
  assert.equal(h.sha256(fs.readFileSync(bridge.file("flashed.img"))), h.sha256(image));
});

test("Firefox: a page closed mid-flash does not stop the flash", async () => {
  const image = h.makeImage(3 * 1024 * 1024);
  image.write("ANDROID!", 0, "latin1");
  const file = path.join(imageDir, "leave.img");
  fs.writeFileSync(file, image);
  await usePhones(adbNoPhone, fastbootFlashPlays("err " + prolog("Sending 'boot' (3072 KB)"), "wait leave.gate",
    // fastboot goes on talking after the page left: the bridge's lines to it
    // fail, and the flash must still run to its end.
    ...afterLeaving,
    "copy flashed.img after-leave.img", flashEnds));
  fs.rmSync(bridge.file("after-leave.img"), { force: true });
  bridge.closeGate("leave.gate");
  const other = await firefox.browser.newPage();
  try {
    other.setDefaultTimeout(60000);
    await other.goto(h.ALLOWED_ORIGIN + "/adb.html");
    await waitForText(other, "#phone-status", `${FB_SERIAL} · Fastboot`);
    await other.select("#image-partition", "boot");
    await (await other.$("#image-file")).uploadFile(file);
    await other.click("#flash-image");
    await other.waitForSelector("#confirm[open]");
    await other.click("#confirm-yes");
    await waitForText(other, "#activity-stage", "hissa 1/1");
  } finally {
    await other.close();
  }
  bridge.openGate("leave.gate");
  // The bridge serves one request at a time: it answers once the flash ended.
  assert.match((await h.bridgeGet(bridge.port, "/ping", false)).body, /"ok":true/);
  assert.equal(h.sha256(fs.readFileSync(bridge.file("after-leave.img"))), h.sha256(image));
});

test("Firefox: a flash from a URL shows the bytes downloaded while the download runs", async () => {
  const image = h.makeImage(3 * 1024 * 1024);
  const half = image.length / 2;
  let release = () => {};
  const released = new Promise((resolve) => (release = resolve));
  // As in the Chromium suite: real curl on Linux against a server that
  // sends half and waits, a PowerShell double that does the same under Wine.
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
    await usePhones(adbNoPhone, fastbootFlashPlays("err " + prolog("Sending 'dtbo' (3072 KB)"), flashEnds));
    await page.select("#url-partition", "dtbo");
    await page.$eval("#url-address", (el, url) => {
      el.value = url;
    }, `http://127.0.0.1:${server.address().port}/slow.img`);
    await page.click("#flash-url");
    await page.waitForSelector("#confirm[open]");
    await page.click("#confirm-yes");
    await waitForText(page, "#work-count", wine ? /^1\.5 MB$/ : /^1\.5 \/ 3\.0 MB \(\d+ %\)$/);
    release();
    bridge.openGate("download.gate");
    const r = await verdict("#url-result");
    assert.equal(r.ok, true, r.text);
    assert.equal(h.sha256(fs.readFileSync(bridge.file("flashed.img"))), h.sha256(image));
  } finally {
    release();
    await h.closeServer(server);
  }
});

test("Firefox: the chosen phone away holds the flash; back in Fastboot mode it is the one flashed", async () => {
  const image = h.makeImage(4096);
  image.write("ANDROID!", 0, "latin1");
  const file = path.join(imageDir, "away.img");
  fs.writeFileSync(file, image);
  const fastbootBoth = fastbootWithPhone.replace(`say ${FB_SERIAL}\\tfastboot\\n`,
    `say ${FB_SERIAL}\\tfastboot\\n${ADB_SERIAL}\\tfastboot\\n`).replace(`match ${FB_SERIAL} flash`, "match flash");
  await usePhones(adbWithPhone, fastbootWithPhone);
  await page.click(`input[name=phone][value="${ADB_SERIAL}"]`);
  await refreshPhones(adbNoPhone, fastbootWithPhone);
  const away = `${ADB_SERIAL} abhi list mein nahi \u2014 restart ho raha hai?`;
  assert.equal(await page.$eval("#phone-status", (el) => el.textContent), away);
  await page.select("#image-partition", "boot");
  await (await page.$("#image-file")).uploadFile(file);
  bridge.clearToolCalls("fastboot");
  await page.click("#flash-image");
  const held = await verdict("#image-result");
  assert.ok(!held.ok && held.text.includes(away), held.text);
  assert.equal(await page.$("#confirm[open]"), null);

  await refreshPhones(adbNoPhone, fastbootBoth);
  await page.click("#flash-image");
  await page.waitForSelector("#confirm[open]");
  const asked = await page.$eval("#confirm", (d) => d.textContent);
  assert.ok(asked.includes(ADB_SERIAL) && !asked.includes(FB_SERIAL), asked);
  await page.click("#confirm-yes");
  assert.equal((await verdict("#image-result")).ok, true);
  const flashes = bridge.toolCalls("fastboot").filter((c) => / flash /.test(" " + c));
  assert.deepEqual(flashes.map((c) => c.split(" ").slice(0, 4).join(" ")), [`-s ${ADB_SERIAL} flash boot`]);
});
