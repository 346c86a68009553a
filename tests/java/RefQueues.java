import java.lang.ref.PhantomReference;
import java.lang.ref.Reference;
import java.lang.ref.ReferenceQueue;
import java.lang.ref.SoftReference;
import java.lang.ref.WeakReference;

// Soft, weak and phantom references held by the program while their
// referents stay reachable: get, clear, enqueue and the queue's poll and
// remove.  Nothing here depends on a collector clearing a reference.
public class RefQueues {
    public static void main(String[] args) throws InterruptedException {
        String keep = new String("kept");
        ReferenceQueue<String> q = new ReferenceQueue<String>();
        WeakReference<String> weak = new WeakReference<String>(keep, q);
        SoftReference<String> soft = new SoftReference<String>(keep);
        PhantomReference<String> phantom = new PhantomReference<String>(keep, q);
        System.out.println("get " + weak.get() + " " + soft.get() + " " + phantom.get());
        System.out.println("enqueued " + weak.isEnqueued() + " " + soft.isEnqueued() + " poll " + q.poll());
        System.out.println("timed remove " + q.remove(20));

        System.out.println("enqueue weak " + weak.enqueue() + " again " + weak.enqueue() + " soft (no queue) "
                           + soft.enqueue() + " phantom " + phantom.enqueue());
        System.out.println("enqueued " + weak.isEnqueued() + " " + phantom.isEnqueued() + " " + soft.isEnqueued());
        Reference<? extends String> first = q.poll();
        System.out.println("first is weak " + (first == weak) + " enqueued after poll " + weak.isEnqueued()
                           + " enqueue after poll " + weak.enqueue());
        Reference<? extends String> second = q.remove();
        System.out.println("second is phantom " + (second == phantom) + " then " + q.poll() + " " + q.remove(1));

        weak.clear();
        soft.clear();
        System.out.println("cleared " + weak.get() + " " + soft.get() + " referent " + keep);

        // A reference enqueued from another thread wakes a waiting remove.
        final ReferenceQueue<Object> later = new ReferenceQueue<Object>();
        final WeakReference<Object> w = new WeakReference<Object>(keep, later);
        Thread t = new Thread() {
            public void run() {
                try {
                    Thread.sleep(50);
                } catch (InterruptedException e) {
                }
                w.enqueue();
            }
        };
        t.start();
        System.out.println("woken " + (later.remove(10000) == w));
        t.join();
        try {
            later.remove(-1);
        } catch (IllegalArgumentException e) {
            System.out.println(e);
        }
    }
}
