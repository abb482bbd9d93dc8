// Times an archive folder's pages in headless Chromium: how long each takes to open (to its load
// event; the first time, which includes the browser's own start on its first page, and again)
// and how long a search typed into its box takes until the filtered page is drawn.
// Measured, not held against a limit.
//
//     node folder_pages.mjs PAGE [PAGE ...]
//
// Exits 0 without figures when there is no browser.
import { statSync } from "node:fs";
import { basename } from "node:path";
import { pathToFileURL } from "node:url";

import { Browser, findChromium } from "../tests/browser/cdp.mjs";

const kSearches = ["好的", "139", "no such words", ""];
const kTargetMs = 1000;

const chromium = findChromium();
if (!chromium) {
    console.log("pages in the browser: no chromium, not measured");
    process.exit(0);
}

const browser = await Browser.launch(chromium);
try {
    console.log("| page | MiB | items | opened ms, first / again | search typed to drawn, worst ms | under 1 s |");
    console.log("| --- | --- | --- | --- | --- | --- |");
    for (const file of process.argv.slice(2)) {
        const opened = [];
        let page = null;
        for (let round = 0; round < 2; round++) {
            await page?.close();
            page = await browser.newPage({ width: 1000, height: 1200 });
            const started = process.hrtime.bigint();
            await page.goto(pathToFileURL(file).href);
            opened.push(Number(process.hrtime.bigint() - started) / 1e6);
        }
        const openMs = opened[1];
        const items = await page.evaluate("document.querySelectorAll('main .s').length");
        let worst = 0;
        for (const text of kSearches) {
            const ms = await page.evaluate(`(async () => {
                const box = document.getElementById("q");
                const start = performance.now();
                box.value = ${JSON.stringify(text)};
                box.dispatchEvent(new Event("input", { bubbles: true }));
                await new Promise((done) => setTimeout(done, 70));
                await new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));
                return performance.now() - start;
            })()`);
            worst = Math.max(worst, ms);
        }
        const mib = statSync(file).size / 1048576;
        console.log(`| ${basename(file)} | ${mib.toFixed(2)} | ${items} | ${opened[0].toFixed(0)} / ${openMs.toFixed(0)} | ` +
            `${worst.toFixed(0)} | ${openMs < kTargetMs && worst < kTargetMs ? "yes" : "NO"} |`);
        await page.close();
    }
} finally {
    await browser.close();
}
