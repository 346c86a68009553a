package java.util;

/** Resizable circular-array deque; null elements are refused. */
public class ArrayDeque<E> extends AbstractCollection<E> implements Deque<E>, Cloneable, java.io.Serializable {
    transient Object[] elements;
    transient int head;
    transient int tail;          // index where the next addLast goes

    public ArrayDeque() {
        elements = new Object[16 + 1];
    }

    public ArrayDeque(int numElements) {
        elements = new Object[(numElements < 1) ? 1 : (numElements == Integer.MAX_VALUE) ? Integer.MAX_VALUE : numElements + 1];
    }

    public ArrayDeque(Collection<? extends E> c) {
        this(c.size());
        for (E e : c) {
            addLast(e);
        }
    }

    private void grow() {
        int oldCapacity = elements.length;
        int newCapacity = oldCapacity + ((oldCapacity < 64) ? oldCapacity + 2 : oldCapacity >> 1);
        Object[] es = new Object[newCapacity];
        int n = size();
        for (int i = 0; i < n; i++) {
            es[i] = elements[(head + i) % oldCapacity];
        }
        elements = es;
        head = 0;
        tail = n;
    }

    private int inc(int i) {
        return (i + 1 == elements.length) ? 0 : i + 1;
    }

    private int dec(int i) {
        return (i == 0) ? elements.length - 1 : i - 1;
    }

    public void addFirst(E e) {
        if (e == null) {
            throw new NullPointerException();
        }
        head = dec(head);
        elements[head] = e;
        if (head == tail) {
            head = inc(head);
            grow();
            head = dec(head);
            elements[head] = e;
        }
    }

    public void addLast(E e) {
        if (e == null) {
            throw new NullPointerException();
        }
        elements[tail] = e;
        tail = inc(tail);
        if (head == tail) {
            tail = dec(tail);
            elements[tail] = null;
            grow();
            elements[tail] = e;
            tail = inc(tail);
        }
    }

    public boolean offerFirst(E e) {
        addFirst(e);
        return true;
    }

    public boolean offerLast(E e) {
        addLast(e);
        return true;
    }

    public E removeFirst() {
        E e = pollFirst();
        if (e == null) {
            throw new NoSuchElementException();
        }
        return e;
    }

    public E removeLast() {
        E e = pollLast();
        if (e == null) {
            throw new NoSuchElementException();
        }
        return e;
    }

    @SuppressWarnings("unchecked")
    public E pollFirst() {
        E e = (E) elements[head];
        if (e != null) {
            elements[head] = null;
            head = inc(head);
        }
        return e;
    }

    @SuppressWarnings("unchecked")
    public E pollLast() {
        int t = dec(tail);
        E e = (E) elements[t];
        if (e != null) {
            elements[t] = null;
            tail = t;
        }
        return e;
    }

    public E getFirst() {
        E e = peekFirst();
        if (e == null) {
            throw new NoSuchElementException();
        }
        return e;
    }

    public E getLast() {
        E e = peekLast();
        if (e == null) {
            throw new NoSuchElementException();
        }
        return e;
    }

    @SuppressWarnings("unchecked")
    public E peekFirst() {
        return (E) elements[head];
    }

    @SuppressWarnings("unchecked")
    public E peekLast() {
        return (E) elements[dec(tail)];
    }

    public boolean add(E e) {
        addLast(e);
        return true;
    }

    public boolean offer(E e) {
        return offerLast(e);
    }

    public E remove() {
        return removeFirst();
    }

    public E poll() {
        return pollFirst();
    }

    public E element() {
        return getFirst();
    }

    public E peek() {
        return peekFirst();
    }

    public void push(E e) {
        addFirst(e);
    }

    public E pop() {
        return removeFirst();
    }

    public int size() {
        int n = tail - head;
        return n < 0 ? n + elements.length : n;
    }

    public boolean isEmpty() {
        return head == tail;
    }

    /** Removes the element at physical index i, closing the gap. */
    private void delete(int i) {
        int n = elements.length;
        int front = (i - head + n) % n;
        int back = (tail - i + n) % n - 1;
        if (front < back) {
            for (int k = i; k != head; k = dec(k)) {
                elements[k] = elements[dec(k)];
            }
            elements[head] = null;
            head = inc(head);
        } else {
            for (int k = i; inc(k) != tail; k = inc(k)) {
                elements[k] = elements[inc(k)];
            }
            tail = dec(tail);
            elements[tail] = null;
        }
    }

    public boolean removeFirstOccurrence(Object o) {
        if (o != null) {
            for (int i = head; i != tail; i = inc(i)) {
                if (o.equals(elements[i])) {
                    delete(i);
                    return true;
                }
            }
        }
        return false;
    }

    public boolean remove(Object o) {
        return removeFirstOccurrence(o);
    }

    public boolean contains(Object o) {
        if (o != null) {
            for (int i = head; i != tail; i = inc(i)) {
                if (o.equals(elements[i])) {
                    return true;
                }
            }
        }
        return false;
    }

    public void clear() {
        for (int i = head; i != tail; i = inc(i)) {
            elements[i] = null;
        }
        head = tail = 0;
    }

    public Object[] toArray() {
        int n = size();
        Object[] a = new Object[n];
        for (int k = 0, i = head; k < n; k++, i = inc(i)) {
            a[k] = elements[i];
        }
        return a;
    }

    public Iterator<E> iterator() {
        return new Iterator<E>() {
            int cursor = head;
            int lastRet = -1;

            public boolean hasNext() {
                return cursor != tail;
            }

            @SuppressWarnings("unchecked")
            public E next() {
                if (cursor == tail) {
                    throw new NoSuchElementException();
                }
                E e = (E) elements[cursor];
                if (e == null) {
                    throw new ConcurrentModificationException();
                }
                lastRet = cursor;
                cursor = inc(cursor);
                return e;
            }

            public void remove() {
                if (lastRet < 0) {
                    throw new IllegalStateException();
                }
                int n = elements.length;
                boolean frontMoved = (lastRet - head + n) % n < (tail - lastRet + n) % n - 1;
                delete(lastRet);
                if (!frontMoved) {
                    cursor = lastRet;
                }
                lastRet = -1;
            }
        };
    }

    public Iterator<E> descendingIterator() {
        return new Iterator<E>() {
            int cursor = dec(tail);
            int remaining = size();
            int lastRet = -1;

            public boolean hasNext() {
                return remaining > 0;
            }

            @SuppressWarnings("unchecked")
            public E next() {
                if (remaining <= 0) {
                    throw new NoSuchElementException();
                }
                E e = (E) elements[cursor];
                lastRet = cursor;
                cursor = dec(cursor);
                remaining--;
                return e;
            }

            public void remove() {
                if (lastRet < 0) {
                    throw new IllegalStateException();
                }
                int n = elements.length;
                boolean frontMoved = (lastRet - head + n) % n < (tail - lastRet + n) % n - 1;
                delete(lastRet);
                if (frontMoved) {
                    cursor = lastRet;
                }
                lastRet = -1;
            }
        };
    }

    @SuppressWarnings("unchecked")
    public ArrayDeque<E> clone() {
        try {
            ArrayDeque<E> result = (ArrayDeque<E>) super.clone();
            result.elements = Arrays.copyOf(elements, elements.length);
            return result;
        } catch (CloneNotSupportedException e) {
            throw new AssertionError();
        }
    }
}
