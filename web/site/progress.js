// The bar and the line beneath it. The bar is painted at most once per animation frame, to the
// latest figure: a figure that comes between two frames only replaces the one to paint. A
// screen reader hears the line as the bar's value (aria-valuetext), as the line itself is hidden
// from it.
export function progressBar(element, line, show) {
  let frame = null;  // set while a painting of the bar waits for the next frame
  let due = 0;       // the percentage it will paint
  let dueText = null;

  function paint(percent, text) {
    element.setAttribute('aria-valuenow', String(percent));
    element.querySelector('.bar').style.transform = `translateX(${percent - 100}%)`;
    // Kept as a function, so that a change of language says the value anew too.
    show(line.id, text && (() => {
      const words = text();
      element.setAttribute('aria-valuetext', words);
      return words;
    }));
    if (!text) element.removeAttribute('aria-valuetext');
  }

  function paintDue() {
    frame = null;
    paint(due, dueText);
  }

  return {
    // Shows `percent` with `text` (a function giving the line) at once; a painting still waiting
    // is dropped, as this one tells more.
    set(percent, text) {
      cancelAnimationFrame(frame);
      frame = null;
      paint(percent, text);
    },
    // A new figure: painted at the next frame.
    step(percent, text) {
      due = percent;
      dueText = text;
      if (frame === null) frame = requestAnimationFrame(paintDue);
    },
    // The figure shown, or about to be.
    percent: () => (frame === null ? Number(element.getAttribute('aria-valuenow')) : due),
  };
}
