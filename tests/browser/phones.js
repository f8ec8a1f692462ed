// The phones the browser suites put behind the tool doubles: their serials
// and the double-script cases both suites use.
"use strict";

const ADB_SERIAL = "RZ8W10ABCDE";
const FB_SERIAL = "28191FDH300AZK";

// adb's "devices" case listing `lines` (each "SERIAL\\tSTATE\\n").
const adbList = (...lines) => ["match devices", `say List of devices attached\\n${lines.join("")}\\n`];
const adbNoPhone = [...adbList(), "match", ""].join("\n");
const fastbootNoPhone = ["match", ""].join("\n");

// A listed Fastboot phone with the Pixel 7 Pro's variables whose flash
// keeps the image and succeeds; `beforeWrite` are script lines played
// before the phone's answer.
const fastbootWithPhone = (beforeWrite = []) =>
  [
    "match devices",
    `say ${FB_SERIAL}\\tfastboot\\n`,
    "match getvar",
    "file fastboot-pixel-7-pro-cheetah-getvar.txt",
    // The image path is argument 5 after "-s SERIAL", else argument 3.
    `match ${FB_SERIAL} flash`,
    "save 5 flashed.img",
    ...beforeWrite,
    "file flash-ok-nothing-phone-3a.txt",
    "match flash",
    "save 3 flashed.img",
    "file flash-ok-nothing-phone-3a.txt",
    "match",
    "",
  ].join("\n");

// fastboot's first message of a step ("Sending 'boot' (4 KB)"): padded to
// 50 characters and one space, with no line feed; the phone's answer ends
// the line later.
const prolog = (text) => text.padEnd(50) + " ";

// A listed Fastboot phone whose flash keeps the image and then
// plays `steps`: script lines such as `err TEXT` (fastboot writes to
// stderr) and `wait GATE`.
const fastbootFlashPlays = (...steps) =>
  ["match devices", `say ${FB_SERIAL}\\tfastboot\\n`, `match ${FB_SERIAL} flash`, "save 5 flashed.img", ...steps, "match", ""]
    .join("\n");

// The end of a good flash after the last part was sent.
const flashEnds = "err OKAY [  0.042s]\\n" + prolog("Writing 'boot'") + "OKAY [  0.000s]\\nFinished. Total time: 0.808s\\n";

// fastboot talking on in separate messages after the page that asked for
// the flash went away, so that the bridge's progress lines to it fail.
const afterLeaving = [
  "err OKAY [  0.130s]\\n" + prolog("Writing 'boot'"),
  "sleep 300",
  "err (bootloader) writing block 0\\n",
  "sleep 300",
  "err (bootloader) writing block 1\\n",
  "sleep 300",
  "err (bootloader) writing block 2\\n",
];

module.exports = {
  afterLeaving,
  ADB_SERIAL,
  FB_SERIAL,
  adbList,
  adbNoPhone,
  fastbootNoPhone,
  fastbootWithPhone,
  prolog,
  fastbootFlashPlays,
  flashEnds,
};
