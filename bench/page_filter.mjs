// Times the modern page's search on a large page in headless Chromium: how long the page takes
// to open, and for each search typed how long until the filtered page is drawn. Measured, not
// held against a limit.
//
//     node page_filter.mjs PAGE [PAGE ...]
//
// Prints one block per page; exits 0 without figures when there is no browser.
import { statSync } from "node:fs";
import { basename } from "node:path";
import { pathToFileURL } from "node:url";

import { Browser, findChromium } from "../tests/browser/cdp.mjs";

// The page answers a burst of keystrokes once, this long after the last; it is part of what a
// reader waits, and is shown apart.
const kDebounceMs = 60;
const kSearches = ["好的", "thanks", "王", "2009-03", "好的 明天", "no such words", "", "👍", "1391", ""];
const kRounds = 2;

const pages = process.argv.slice(2);
const chromium = findChromium();
if (!chromium) {
    console.log("modern page search: no chromium, not measured");
    process.exit(0);
}

const median = (values) => {
    const sorted = [...values].sort((a, b) => a - b);
    const n = sorted.length;
    return n % 2 ? sorted[(n - 1) / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
};

// Types text into the box as one input event; resolves once the filtered page is drawn, and
// once the page has brought the entries off the screen in line too (it is busy till then).
function search(page, text) {
    return page.evaluate(`(async () => {
        const box = document.getElementById("q");
        const start = performance.now();
        box.value = ${JSON.stringify(text)};
        box.dispatchEvent(new Event("input", { bubbles: true }));
        // After the page's own timer, then after the next frame is drawn.
        await new Promise((done) => setTimeout(done, ${kDebounceMs + 1}));
        const filtered = performance.now();
        await new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));
        const drawn = performance.now();
        while (box.hasAttribute("aria-busy")) {
            await new Promise((done) => setTimeout(done, 1));
        }
        const settled = performance.now();
        const shown = document.querySelectorAll("main article").length -
            document.querySelectorAll("main article[hidden]").length;
        return { total: drawn - start, script: filtered - start - ${kDebounceMs + 1},
                 render: drawn - filtered, settled: settled - start, shown };
    })()`);
}

const browser = await Browser.launch(chromium);
try {
    for (const file of pages) {
        const page = await browser.newPage({ width: 1000, height: 1200 });
        const started = process.hrtime.bigint();
        await page.goto(pathToFileURL(file).href);
        const openMs = Number(process.hrtime.bigint() - started) / 1e6;
        const entries = await page.evaluate("document.querySelectorAll('main article').length");
        const groups = await page.evaluate("document.querySelectorAll('main section').length");
        // Let the page finish lower-casing its entries, as a reader's first second would.
        await page.evaluate("new Promise((done) => setTimeout(done, 2000))");

        const totals = [];
        const work = [];
        const settled = [];
        const lines = [];
        for (let round = 0; round < kRounds; round++) {
            for (const text of kSearches) {
                const result = await search(page, text);
                totals.push(result.total);
                work.push(result.total - kDebounceMs);
                settled.push(result.settled - kDebounceMs);
                if (round === kRounds - 1) {
                    lines.push(
                        `  ${JSON.stringify(text).padEnd(16)} ${String(result.shown).padStart(6)} shown:` +
                            ` ${result.total.toFixed(0).padStart(4)} ms to drawn` +
                            ` (script ${Math.max(0, result.script).toFixed(0)}, drawing ${result.render.toFixed(0)};` +
                            ` off-screen entries in line at ${result.settled.toFixed(0)} ms)`,
                    );
                }
            }
        }
        // Letter by letter, as a reader types: each keystroke answered before the next.
        const letters = [];
        for (const word of ["thanks", "1391", "好的"]) {
            await search(page, "");
            for (let i = 1; i <= [...word].length; i++) {
                letters.push((await search(page, [...word].slice(0, i).join(""))).total);
            }
        }
        const size = (statSync(file).size / (1024 * 1024)).toFixed(1);
        console.log(`modern page search: ${basename(file)}, ${entries} entries in ${groups} groups, ${size} MiB`);
        console.log(`  opened (load event) in ${openMs.toFixed(0)} ms`);
        console.log(
            `  a search, typed to drawn: median ${median(totals).toFixed(0)} ms, worst ${Math.max(...totals).toFixed(0)} ms` +
                ` (of which ${kDebounceMs} ms the page waits for more keystrokes)`,
        );
        console.log(`  the filtering and drawing alone: median ${median(work).toFixed(0)} ms, worst ${Math.max(...work).toFixed(0)} ms`);
        console.log(
            `  every entry off the screen in line too (after the wait): median ${median(settled).toFixed(0)} ms,` +
                ` worst ${Math.max(...settled).toFixed(0)} ms`,
        );
        console.log(
            `  typed letter by letter ("thanks", "1391", "好的"): median ${median(letters).toFixed(0)} ms,` +
                ` worst ${Math.max(...letters).toFixed(0)} ms a keystroke, typed to drawn`,
        );
        console.log(`  last round, search by search:`);
        for (const line of lines) {
            console.log(line);
        }
        if (page.errors.length) {
            console.log(`  script errors: ${page.errors.join("; ")}`);
        }
        await page.close();
    }
} finally {
    await browser.close();
}
