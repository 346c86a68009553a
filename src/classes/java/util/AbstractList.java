package java.util;

/**
 * List operations built on get(int) and size().  modCount is the only
 * field (offset 8 in every subclass: Vector's compiled bodies rely on it);
 * iterators fail fast with ConcurrentModificationException when it changes
 * behind them.
 */
public abstract class AbstractList<E> extends AbstractCollection<E> implements List<E> {
    protected transient int modCount;

    protected AbstractList() {}

    public boolean add(E e) {
        add(size(), e);
        return true;
    }

    public abstract E get(int index);

    public E set(int index, E element) {
        throw new UnsupportedOperationException();
    }

    public void add(int index, E element) {
        throw new UnsupportedOperationException();
    }

    public E remove(int index) {
        throw new UnsupportedOperationException();
    }

    public int indexOf(Object o) {
        int n = size();
        for (int i = 0; i < n; i++) {
            E e = get(i);
            if (o == null ? e == null : o.equals(e)) {
                return i;
            }
        }
        return -1;
    }

    public int lastIndexOf(Object o) {
        for (int i = size() - 1; i >= 0; i--) {
            E e = get(i);
            if (o == null ? e == null : o.equals(e)) {
                return i;
            }
        }
        return -1;
    }

    public void clear() {
        removeRange(0, size());
    }

    protected void removeRange(int fromIndex, int toIndex) {
        for (int i = toIndex - 1; i >= fromIndex; i--) {
            remove(i);
        }
    }

    public boolean addAll(int index, Collection<? extends E> c) {
        checkPositionIndex(index);
        boolean modified = false;
        for (E e : c) {
            add(index++, e);
            modified = true;
        }
        return modified;
    }

    void checkPositionIndex(int index) {
        if (index < 0 || index > size()) {
            throw new IndexOutOfBoundsException("Index: " + index + ", Size: " + size());
        }
    }

    public Iterator<E> iterator() {
        return new Itr(0);
    }

    public ListIterator<E> listIterator() {
        return new Itr(0);
    }

    public ListIterator<E> listIterator(int index) {
        checkPositionIndex(index);
        return new Itr(index);
    }

    public List<E> subList(int fromIndex, int toIndex) {
        if (fromIndex < 0) {
            throw new IndexOutOfBoundsException("fromIndex = " + fromIndex);
        }
        if (toIndex > size()) {
            throw new IndexOutOfBoundsException("toIndex = " + toIndex);
        }
        if (fromIndex > toIndex) {
            throw new IllegalArgumentException("fromIndex(" + fromIndex + ") > toIndex(" + toIndex + ")");
        }
        return new SubList<E>(this, fromIndex, toIndex);
    }

    public boolean equals(Object o) {
        if (o == this) {
            return true;
        }
        if (!(o instanceof List)) {
            return false;
        }
        Iterator<E> e1 = iterator();
        Iterator<?> e2 = ((List<?>) o).iterator();
        while (e1.hasNext() && e2.hasNext()) {
            E o1 = e1.next();
            Object o2 = e2.next();
            if (!(o1 == null ? o2 == null : o1.equals(o2))) {
                return false;
            }
        }
        return !(e1.hasNext() || e2.hasNext());
    }

    public int hashCode() {
        int h = 1;
        for (E e : this) {
            h = 31 * h + (e == null ? 0 : e.hashCode());
        }
        return h;
    }

    /** Index-based list iterator over get/set/add/remove. */
    private class Itr implements ListIterator<E> {
        int cursor;
        int lastRet = -1;
        int expectedModCount = modCount;

        Itr(int index) {
            cursor = index;
        }

        public boolean hasNext() {
            return cursor != size();
        }

        public E next() {
            checkForComodification();
            int i = cursor;
            if (i >= size()) {
                throw new NoSuchElementException();
            }
            E next = get(i);
            lastRet = i;
            cursor = i + 1;
            return next;
        }

        public boolean hasPrevious() {
            return cursor != 0;
        }

        public E previous() {
            checkForComodification();
            int i = cursor - 1;
            if (i < 0) {
                throw new NoSuchElementException();
            }
            E previous = get(i);
            lastRet = cursor = i;
            return previous;
        }

        public int nextIndex() {
            return cursor;
        }

        public int previousIndex() {
            return cursor - 1;
        }

        public void remove() {
            if (lastRet < 0) {
                throw new IllegalStateException();
            }
            checkForComodification();
            AbstractList.this.remove(lastRet);
            if (lastRet < cursor) {
                cursor--;
            }
            lastRet = -1;
            expectedModCount = modCount;
        }

        public void set(E e) {
            if (lastRet < 0) {
                throw new IllegalStateException();
            }
            checkForComodification();
            AbstractList.this.set(lastRet, e);
            expectedModCount = modCount;
        }

        public void add(E e) {
            checkForComodification();
            AbstractList.this.add(cursor++, e);
            lastRet = -1;
            expectedModCount = modCount;
        }

        final void checkForComodification() {
            if (modCount != expectedModCount) {
                throw new ConcurrentModificationException();
            }
        }
    }

    /** A view of a range of a list; structural changes go through the parent. */
    private static class SubList<E> extends AbstractList<E> {
        private final AbstractList<E> parent;
        private final int offset;
        private int size;

        SubList(AbstractList<E> parent, int fromIndex, int toIndex) {
            this.parent = parent;
            this.offset = fromIndex;
            this.size = toIndex - fromIndex;
            this.modCount = parent.modCount;
        }

        private void checkIndex(int index) {
            if (index < 0 || index >= size) {
                throw new IndexOutOfBoundsException("Index " + index + " out of bounds for length " + size);
            }
        }

        private void checkMod() {
            if (parent.modCount != modCount) {
                throw new ConcurrentModificationException();
            }
        }

        public E get(int index) {
            checkIndex(index);
            checkMod();
            return parent.get(offset + index);
        }

        public E set(int index, E e) {
            checkIndex(index);
            checkMod();
            return parent.set(offset + index, e);
        }

        public int size() {
            checkMod();
            return size;
        }

        public void add(int index, E e) {
            checkPositionIndex(index);
            checkMod();
            parent.add(offset + index, e);
            modCount = parent.modCount;
            size++;
        }

        public E remove(int index) {
            checkIndex(index);
            checkMod();
            E r = parent.remove(offset + index);
            modCount = parent.modCount;
            size--;
            return r;
        }
    }
}
