// What the browser tests and the page benchmark ask of a modern archive page in the browser.

// The filter is debounced; this is longer than the debounce of any page.
export const kSettleMs = 250;

export async function typeSearch(page, text) {
    await page.evaluate("(() => { const q = document.getElementById('q'); q.focus(); q.select(); })()");
    if (text === "") {
        await page.send("Input.dispatchKeyEvent", {
            type: "keyDown", key: "Backspace", code: "Backspace", windowsVirtualKeyCode: 8,
        });
        await page.send("Input.dispatchKeyEvent", {
            type: "keyUp", key: "Backspace", code: "Backspace", windowsVirtualKeyCode: 8,
        });
    } else {
        await page.send("Input.insertText", { text });
    }
    await settle(page);
}

export function settle(page) {
    return page.evaluate(
        `new Promise((done) => setTimeout(() => requestAnimationFrame(() => setTimeout(done, 0)), ${kSettleMs}))`,
    );
}

// Entries a reader can see: rendered with a box, the hidden ones and those of a hidden group not.
export function visibleEntries(page) {
    return page.evaluate(
        "[...document.querySelectorAll('main article')].filter((a) => a.getClientRects().length > 0).length",
    );
}

// The kinds of text on the modern page.
const kPageTexts = ["h1", ".summary", "nav summary", "nav a", "nav .count", ".group h2",
                    ".group h2 .count", ".m", ".m b", ".t", "#q"];

// For each kind of text on the page (the first element of each selector): its colour against
// the colour actually behind it, as the WCAG contrast ratio.
export function contrastRatios(page, kinds = kPageTexts) {
    return page.evaluate(`(() => {
        const parse = (c) => {
            const p = c.match(/rgba?\\(([^)]*)\\)/)[1].split(/[\\s,\\/]+/).filter(Boolean).map(Number);
            return { r: p[0], g: p[1], b: p[2], a: p.length > 3 ? p[3] : 1 };
        };
        const channel = (v) => { v /= 255; return v <= 0.03928 ? v / 12.92 : Math.pow((v + 0.055) / 1.055, 2.4); };
        const luminance = (c) => 0.2126 * channel(c.r) + 0.7152 * channel(c.g) + 0.0722 * channel(c.b);
        const background = (element) => {
            for (let e = element; e; e = e.parentElement) {
                const c = parse(getComputedStyle(e).backgroundColor);
                if (c.a > 0) return c;
            }
            return { r: 255, g: 255, b: 255, a: 1 };
        };
        const ratio = (fg, bg) => {
            const [l1, l2] = [luminance(fg), luminance(bg)].sort((a, b) => b - a);
            return (l1 + 0.05) / (l2 + 0.05);
        };
        const kinds = ${JSON.stringify(kinds)};
        const out = {};
        for (const selector of kinds) {
            const element = document.querySelector(selector);
            if (!element) { out[selector] = null; continue; }
            out[selector] = ratio(parse(getComputedStyle(element).color), background(element));
        }
        const q = document.getElementById("q");
        out["#q::placeholder"] = ratio(parse(getComputedStyle(q, "::placeholder").color), background(q));
        out.background = luminance(parse(getComputedStyle(document.body).backgroundColor));
        return out;
    })()`);
}
