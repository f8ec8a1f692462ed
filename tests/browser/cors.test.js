// The bridge's CORS rules as Chromium applies them, through fetch from a
// plain page on each kind of origin: the development address (allowed), the
// operator's site over HTTPS (allowed), and another port (refused).
"use strict";

const { test, before, after, beforeEach } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const h = require("./harness");

const FORBIDDEN = { ok: false, error: "forbidden (origin)" };
const SIZE_ERROR = { ok: false, error: "file size theek nahi (0 ya 2GB se zyada)" };
const IDENTITY_REFUSAL = { ok: false, error: "Ye identity partition (IMEI/EFS/NV/FRP) hai - ispar flash BLOCK hai (legal)." };
const IMAGE_SIZE = 5 * 1024 * 1024;

let bridge;
let web;
let refusedWeb;
let site;
let browser;
const ready = {};

before(async () => {
  bridge = new h.Bridge();
  bridge.addTool("adb", ["match devices", "say List of devices attached\\nCORS01\\tdevice\\n", "match", ""].join("\n"));
  bridge.addTool(
    "fastboot",
    [
      "match devices",
      "say CORSFB01\\tfastboot\\n",
      // The bridge names the phone: the image path is argument 5 after "-s SERIAL".
      "match -s CORSFB01 flash",
      "save 5 flashed.img",
      "say Writing 'dtbo' OKAY\\nFinished. Total time: 0.1s\\n",
      "match",
      "",
    ].join("\n"),
  );
  await bridge.start();
  for (const route of ["info", "flash", "reboot"]) ready[route] = await h.routeReady(bridge.port, route);
  web = await h.serveWeb(8080);
  refusedWeb = await h.serveWeb(8081);
  site = await h.serveSite();
  browser = await h.launchBrowser(site.address().port);
});

after(async () => {
  if (browser) await browser.close();
  await h.closeServer(web);
  await h.closeServer(refusedWeb);
  await h.closeServer(site);
  if (bridge) await bridge.dispose();
});

// Each test starts with no tool run recorded.
beforeEach(() => {
  if (bridge) bridge.clearToolCalls();
});

async function probePage(origin) {
  const page = await browser.context.newPage();
  await page.goto(origin + "/probe.html");
  assert.equal(await page.evaluate(() => location.origin), origin);
  return page;
}

// Runs one fetch inside the page. Returns { body } with the parsed reply, or
// { failed } with the browser's error when the reply was withheld.
function pageFetch(page, path, { header = "none", method = "GET", bodySize = -1 } = {}) {
  return page.evaluate(
    async ({ url, header, method, bodySize }) => {
      const init = { method, cache: "no-store" };
      // Set through a Headers object, the way a page usually does it; the
      // browser then sends the name in lower case.
      if (header === "headers") init.headers = new Headers({ "X-Talvik-Bridge": "1" });
      if (bodySize >= 0) {
        const bytes = new Uint8Array(bodySize);
        for (let i = 0; i < bodySize; i++) bytes[i] = (i * 7 + 3) & 0xff;
        init.body = bytes;
      }
      try {
        const reply = await fetch(url, init);
        return { status: reply.status, body: JSON.parse(await reply.text()) };
      } catch (e) {
        return { failed: String(e) };
      }
    },
    { url: `http://127.0.0.1:${bridge.port}${path}`, header, method, bodySize },
  );
}

function expectedImage() {
  const bytes = Buffer.alloc(IMAGE_SIZE);
  for (let i = 0; i < IMAGE_SIZE; i++) bytes[i] = (i * 7 + 3) & 0xff;
  return bytes;
}

// The same calls must work from both allowed kinds of origin.
for (const origin of [h.ALLOWED_ORIGIN, h.SITE_ORIGIN]) {
  test(`allowed page ${origin}: ping, info, acting routes and uploads through fetch`, async (t) => {
    const page = await probePage(origin);
    t.after(() => page.close());

    await t.test("GET /ping is read and names the page's own origin", async () => {
      const seen = page.waitForResponse((r) => r.url().endsWith("/ping"));
      const reply = await pageFetch(page, "/ping");
      assert.equal(reply.status, 200);
      assert.deepEqual(reply.body, { ok: true, name: "Talvik Web Bridge", version: "1.0.0", adb: true, fastboot: true });
      assert.equal((await seen).headers()["access-control-allow-origin"], origin);
    });

    await t.test("GET /info is read", async (t2) => {
      if (!ready.info) return t2.skip("the bridge has no info route yet");
      const reply = await pageFetch(page, "/info");
      assert.equal(reply.body.ok, true, JSON.stringify(reply));
      assert.equal(reply.body.mode, "ADB");
    });

    await t.test("an acting route with the header set through new Headers() gets past the preflight", async () => {
      const reply = await pageFetch(page, "/reboot?to=recovery", { header: "headers" });
      assert.equal(reply.failed, undefined, reply.failed);
      assert.notDeepEqual(reply.body, FORBIDDEN);
      if (ready.reboot) assert.deepEqual(reply.body, { ok: true, to: "recovery" });
    });

    await t.test("the same route without the header is refused by the bridge, readably", async () => {
      const reply = await pageFetch(page, "/reboot?to=recovery");
      assert.deepEqual(reply.body, FORBIDDEN);
    });

    await t.test("a 5 MB upload to POST /flash gets the verdict; fastboot gets the bytes", async (t2) => {
      if (!ready.flash) return t2.skip("the bridge has no flash route yet");
      fs.rmSync(bridge.file("flashed.img"), { force: true });
      // dtbo: a partition whose image has no header the bridge checks for.
      const reply = await pageFetch(page, "/flash?partition=dtbo", { header: "headers", method: "POST", bodySize: IMAGE_SIZE });
      assert.equal(reply.failed, undefined, reply.failed);
      assert.equal(reply.body.ok, true, JSON.stringify(reply.body));
      assert.equal(reply.body.partition, "dtbo");
      assert.match(reply.body.log, /Finished/);
      assert.equal(h.sha256(fs.readFileSync(bridge.file("flashed.img"))), h.sha256(expectedImage()));
    });

    await t.test("a refused 5 MB upload gets the JSON refusal, not a failed fetch", async (t2) => {
      if (!ready.flash) return t2.skip("the bridge has no flash route yet");
      const reply = await pageFetch(page, "/flash?partition=efs", { header: "headers", method: "POST", bodySize: IMAGE_SIZE });
      assert.equal(reply.failed, undefined, reply.failed);
      assert.deepEqual(reply.body, IDENTITY_REFUSAL);
    });

    await t.test("an empty upload gets the JSON size error", async (t2) => {
      if (!ready.flash) return t2.skip("the bridge has no flash route yet");
      const reply = await pageFetch(page, "/flash?partition=boot", { header: "headers", method: "POST", bodySize: 0 });
      assert.deepEqual(reply.body, SIZE_ERROR);
    });
  });
}

test("refused page http://localhost:8081: the browser withholds every reply", async (t) => {
  const page = await probePage(h.REFUSED_ORIGIN);
  t.after(() => page.close());
  bridge.clearToolCalls("adb");
  const ping = await pageFetch(page, "/ping");
  assert.match(ping.failed || "", /TypeError/);
  // The bridge is there and answers: only the reading is refused.
  const opaque = await page.evaluate(async (url) => {
    const reply = await fetch(url, { mode: "no-cors", cache: "no-store" });
    return reply.type;
  }, `http://127.0.0.1:${bridge.port}/ping`);
  assert.equal(opaque, "opaque");
  const acting = await pageFetch(page, "/reboot?to=recovery", { header: "headers" });
  assert.match(acting.failed || "", /TypeError/);
  assert.deepEqual(bridge.toolCalls("adb").filter((c) => c.startsWith("reboot")), []);
});
