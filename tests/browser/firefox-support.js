// Debian's Firefox ESR for the browser suite, driven over WebDriver BiDi by
// puppeteer-core (which never downloads a browser of its own).
"use strict";

const fs = require("node:fs");
const os = require("node:os");
const path = require("node:path");
const puppeteer = require("puppeteer-core");

const firefoxPath = process.env.TALVIK_FIREFOX || "/usr/bin/firefox-esr";

// Headless Firefox with a fresh profile, which also serves as its HOME (as
// root in a container there may be no usable home folder). The prefs keep
// it off the network: no update, telemetry or settings checks, so only the
// loopback servers of the test are ever contacted.
async function launchFirefox() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), "talvik-firefox-"));
  const browser = await puppeteer.launch({
    browser: "firefox",
    protocol: "webDriverBiDi",
    executablePath: firefoxPath,
    headless: true,
    userDataDir: profile,
    env: { ...process.env, HOME: profile, MOZ_HEADLESS: "1", MOZ_CRASHREPORTER_DISABLE: "1" },
    defaultViewport: { width: 1100, height: 900 },
    extraPrefsFirefox: {
      "app.update.disabledForTesting": true,
      "browser.safebrowsing.update.enabled": false,
      "datareporting.policy.dataSubmissionEnabled": false,
      "network.connectivity-service.enabled": false,
      "network.captive-portal-service.enabled": false,
      "services.settings.server": "http://127.0.0.1:9/",
      "toolkit.telemetry.enabled": false,
    },
    timeout: 120000,
    protocolTimeout: 120000,
  });
  const close = async () => {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  };
  return { browser, close };
}

// Waits until the element's text satisfies `test` (a RegExp or a string it
// must contain) and returns the text.
async function waitForText(page, selector, test, timeout = 60000) {
  const [source, flags, part] = test instanceof RegExp ? [test.source, test.flags, null] : [null, "", test];
  const handle = await page.waitForFunction(
    (selector, source, flags, part) => {
      const el = document.querySelector(selector);
      if (!el) return false;
      const text = el.textContent;
      const ok = source !== null ? new RegExp(source, flags).test(text) : text.includes(part);
      return ok ? text : false;
    },
    { timeout, polling: 100 },
    selector,
    source,
    flags,
    part,
  );
  return handle.jsonValue();
}

module.exports = { launchFirefox, waitForText };
