package java.util;

/**
 * Synchronized growable array.
 *
 * Field layout is fixed (compiled replacement bodies of elementAt,
 * indexOf, indexOf(Object,int), removeElementAt, removeElement and contains
 * read it): modCount (+8, from AbstractList), elementData (+12),
 * elementCount (+16), then capacityIncrement.  These methods behave exactly
 * as the replacement bodies do:
 *  - elementAt and removeElementAt raise ArrayIndexOutOfBoundsException
 *    whose message is the index alone ("5", "-1") for any index outside
 *    0 .. elementCount-1; removeElementAt counts modCount up first, even
 *    when it then raises;
 *  - indexOf(o, start) raises ArrayIndexOutOfBoundsException("start") for
 *    a negative start and answers -1 when start >= elementCount;
 *  - searches compare null (and arrays) by identity, otherwise call
 *    o.equals(element);
 *  - removeElement counts modCount up exactly once, found or not.
 * Growth: by capacityIncrement when positive, else doubling.
 */
public class Vector<E> extends AbstractList<E> implements List<E>, RandomAccess, Cloneable, java.io.Serializable {
    protected Object[] elementData;
    protected int elementCount;
    protected int capacityIncrement;

    public Vector(int initialCapacity, int capacityIncrement) {
        if (initialCapacity < 0) {
            throw new IllegalArgumentException("Illegal Capacity: " + initialCapacity);
        }
        this.elementData = new Object[initialCapacity];
        this.capacityIncrement = capacityIncrement;
    }

    public Vector(int initialCapacity) {
        this(initialCapacity, 0);
    }

    public Vector() {
        this(10);
    }

    public Vector(Collection<? extends E> c) {
        Object[] a = c.toArray();
        elementCount = a.length;
        elementData = (a.getClass() == Object[].class) ? a : Arrays.copyOf(a, elementCount, Object[].class);
    }

    public synchronized void copyInto(Object[] anArray) {
        System.arraycopy(elementData, 0, anArray, 0, elementCount);
    }

    public synchronized void trimToSize() {
        modCount++;
        if (elementCount < elementData.length) {
            elementData = Arrays.copyOf(elementData, elementCount);
        }
    }

    public synchronized void ensureCapacity(int minCapacity) {
        if (minCapacity > 0) {
            modCount++;
            if (minCapacity > elementData.length) {
                grow(minCapacity);
            }
        }
    }

    private void grow(int minCapacity) {
        int oldCapacity = elementData.length;
        int newCapacity = oldCapacity + ((capacityIncrement > 0) ? capacityIncrement : oldCapacity);
        if (newCapacity - minCapacity < 0) {
            newCapacity = minCapacity;
        }
        if (newCapacity < 0) {
            if (minCapacity < 0) {
                throw new OutOfMemoryError();
            }
            newCapacity = Integer.MAX_VALUE - 8;
        }
        elementData = Arrays.copyOf(elementData, newCapacity);
    }

    public synchronized void setSize(int newSize) {
        if (newSize < 0) {
            throw new ArrayIndexOutOfBoundsException(Integer.toString(newSize));
        }
        modCount++;
        if (newSize > elementData.length) {
            grow(newSize);
        }
        for (int i = newSize; i < elementCount; i++) {
            elementData[i] = null;
        }
        elementCount = newSize;
    }

    public synchronized int capacity() {
        return elementData.length;
    }

    public synchronized int size() {
        return elementCount;
    }

    public synchronized boolean isEmpty() {
        return elementCount == 0;
    }

    public Enumeration<E> elements() {
        return new Enumeration<E>() {
            int count = 0;

            public boolean hasMoreElements() {
                return count < elementCount;
            }

            @SuppressWarnings("unchecked")
            public E nextElement() {
                synchronized (Vector.this) {
                    if (count < elementCount) {
                        return (E) elementData[count++];
                    }
                }
                throw new NoSuchElementException("Vector Enumeration");
            }
        };
    }

    public boolean contains(Object o) {
        return indexOf(o, 0) >= 0;
    }

    public int indexOf(Object o) {
        return indexOf(o, 0);
    }

    public synchronized int indexOf(Object o, int index) {
        if (index < 0) {
            throw new ArrayIndexOutOfBoundsException(Integer.toString(index));
        }
        return search(o, index);
    }

    /** The replacement bodies' search: -1 when start >= elementCount. */
    private int search(Object o, int start) {
        Object[] es = elementData;
        int n = elementCount;
        if (o == null) {
            for (int i = start; i < n; i++) {
                if (es[i] == null) {
                    return i;
                }
            }
        } else {
            for (int i = start; i < n; i++) {
                if (o.equals(es[i])) {
                    return i;
                }
            }
        }
        return -1;
    }

    public synchronized int lastIndexOf(Object o) {
        return lastIndexOf(o, elementCount - 1);
    }

    public synchronized int lastIndexOf(Object o, int index) {
        if (index >= elementCount) {
            throw new IndexOutOfBoundsException(index + " >= " + elementCount);
        }
        if (o == null) {
            for (int i = index; i >= 0; i--) {
                if (elementData[i] == null) {
                    return i;
                }
            }
        } else {
            for (int i = index; i >= 0; i--) {
                if (o.equals(elementData[i])) {
                    return i;
                }
            }
        }
        return -1;
    }

    @SuppressWarnings("unchecked")
    public synchronized E elementAt(int index) {
        if (index < 0 || index >= elementCount) {
            throw new ArrayIndexOutOfBoundsException(Integer.toString(index));
        }
        return (E) elementData[index];
    }

    @SuppressWarnings("unchecked")
    public synchronized E firstElement() {
        if (elementCount == 0) {
            throw new NoSuchElementException();
        }
        return (E) elementData[0];
    }

    @SuppressWarnings("unchecked")
    public synchronized E lastElement() {
        if (elementCount == 0) {
            throw new NoSuchElementException();
        }
        return (E) elementData[elementCount - 1];
    }

    public synchronized void setElementAt(E obj, int index) {
        if (index >= elementCount) {
            throw new ArrayIndexOutOfBoundsException(index + " >= " + elementCount);
        }
        if (index < 0) {
            throw new ArrayIndexOutOfBoundsException(Integer.toString(index));
        }
        elementData[index] = obj;
    }

    public synchronized void removeElementAt(int index) {
        modCount++;
        if (index < 0 || index >= elementCount) {
            throw new ArrayIndexOutOfBoundsException(Integer.toString(index));
        }
        shiftDown(index);
    }

    /** Removes elementData[index]: later elements move down, the freed slot is cleared. */
    private void shiftDown(int index) {
        int j = elementCount - index - 1;
        if (j > 0) {
            System.arraycopy(elementData, index + 1, elementData, index, j);
        }
        elementCount--;
        elementData[elementCount] = null;
    }

    public synchronized void insertElementAt(E obj, int index) {
        if (index > elementCount) {
            throw new ArrayIndexOutOfBoundsException(index + " > " + elementCount);
        }
        if (index < 0) {
            throw new ArrayIndexOutOfBoundsException(Integer.toString(index));
        }
        modCount++;
        if (elementCount == elementData.length) {
            grow(elementCount + 1);
        }
        System.arraycopy(elementData, index, elementData, index + 1, elementCount - index);
        elementData[index] = obj;
        elementCount++;
    }

    public synchronized void addElement(E obj) {
        modCount++;
        if (elementCount == elementData.length) {
            grow(elementCount + 1);
        }
        elementData[elementCount++] = obj;
    }

    public synchronized boolean removeElement(Object obj) {
        modCount++;
        int i = search(obj, 0);
        if (i >= 0) {
            shiftDown(i);
            return true;
        }
        return false;
    }

    public synchronized void removeAllElements() {
        modCount++;
        for (int i = 0; i < elementCount; i++) {
            elementData[i] = null;
        }
        elementCount = 0;
    }

    public synchronized Object clone() {
        try {
            @SuppressWarnings("unchecked")
            Vector<E> v = (Vector<E>) super.clone();
            v.elementData = Arrays.copyOf(elementData, elementCount);
            v.modCount = 0;
            return v;
        } catch (CloneNotSupportedException e) {
            throw new InternalError(e);
        }
    }

    public synchronized Object[] toArray() {
        return Arrays.copyOf(elementData, elementCount);
    }

    @SuppressWarnings("unchecked")
    public synchronized <T> T[] toArray(T[] a) {
        if (a.length < elementCount) {
            return (T[]) Arrays.copyOf(elementData, elementCount, a.getClass());
        }
        System.arraycopy(elementData, 0, a, 0, elementCount);
        if (a.length > elementCount) {
            a[elementCount] = null;
        }
        return a;
    }

    private ArrayIndexOutOfBoundsException outOfRange(int index) {
        if (index < 0) {
            return new ArrayIndexOutOfBoundsException("Index " + index + " out of bounds for length " + elementData.length);
        }
        return new ArrayIndexOutOfBoundsException(index);
    }

    @SuppressWarnings("unchecked")
    public synchronized E get(int index) {
        if (index < 0 || index >= elementCount) {
            throw outOfRange(index);
        }
        return (E) elementData[index];
    }

    @SuppressWarnings("unchecked")
    public synchronized E set(int index, E element) {
        if (index < 0 || index >= elementCount) {
            throw outOfRange(index);
        }
        E oldValue = (E) elementData[index];
        elementData[index] = element;
        return oldValue;
    }

    public synchronized boolean add(E e) {
        addElement(e);
        return true;
    }

    public boolean remove(Object o) {
        return removeElement(o);
    }

    public void add(int index, E element) {
        insertElementAt(element, index);
    }

    @SuppressWarnings("unchecked")
    public synchronized E remove(int index) {
        modCount++;
        if (index < 0 || index >= elementCount) {
            throw outOfRange(index);
        }
        E oldValue = (E) elementData[index];
        shiftDown(index);
        return oldValue;
    }

    public void clear() {
        removeAllElements();
    }

    public synchronized boolean containsAll(Collection<?> c) {
        return super.containsAll(c);
    }

    public synchronized boolean addAll(Collection<? extends E> c) {
        Object[] a = c.toArray();
        modCount++;
        int n = a.length;
        if (n == 0) {
            return false;
        }
        if (n > elementData.length - elementCount) {
            grow(elementCount + n);
        }
        System.arraycopy(a, 0, elementData, elementCount, n);
        elementCount += n;
        return true;
    }

    public synchronized boolean removeAll(Collection<?> c) {
        return super.removeAll(c);
    }

    public synchronized boolean retainAll(Collection<?> c) {
        return super.retainAll(c);
    }

    public synchronized boolean addAll(int index, Collection<? extends E> c) {
        if (index < 0 || index > elementCount) {
            throw new ArrayIndexOutOfBoundsException(index);
        }
        Object[] a = c.toArray();
        modCount++;
        int n = a.length;
        if (n == 0) {
            return false;
        }
        if (n > elementData.length - elementCount) {
            grow(elementCount + n);
        }
        int moved = elementCount - index;
        if (moved > 0) {
            System.arraycopy(elementData, index, elementData, index + n, moved);
        }
        System.arraycopy(a, 0, elementData, index, n);
        elementCount += n;
        return true;
    }

    public synchronized boolean equals(Object o) {
        return super.equals(o);
    }

    public synchronized int hashCode() {
        return super.hashCode();
    }

    public synchronized String toString() {
        return super.toString();
    }

    protected synchronized void removeRange(int fromIndex, int toIndex) {
        modCount++;
        System.arraycopy(elementData, toIndex, elementData, fromIndex, elementCount - toIndex);
        int newCount = elementCount - (toIndex - fromIndex);
        for (int i = newCount; i < elementCount; i++) {
            elementData[i] = null;
        }
        elementCount = newCount;
    }

    public synchronized Iterator<E> iterator() {
        return new Itr();
    }

    /** Fail-fast iterator; each step holds the vector's lock. */
    private class Itr implements Iterator<E> {
        int cursor;
        int lastRet = -1;
        int expectedModCount = modCount;

        public boolean hasNext() {
            return cursor != elementCount;
        }

        @SuppressWarnings("unchecked")
        public E next() {
            synchronized (Vector.this) {
                if (modCount != expectedModCount) {
                    throw new ConcurrentModificationException();
                }
                int i = cursor;
                if (i >= elementCount) {
                    throw new NoSuchElementException();
                }
                cursor = i + 1;
                return (E) elementData[lastRet = i];
            }
        }

        public void remove() {
            if (lastRet == -1) {
                throw new IllegalStateException();
            }
            synchronized (Vector.this) {
                if (modCount != expectedModCount) {
                    throw new ConcurrentModificationException();
                }
                Vector.this.remove(lastRet);
                expectedModCount = modCount;
            }
            cursor = lastRet;
            lastRet = -1;
        }
    }
}
